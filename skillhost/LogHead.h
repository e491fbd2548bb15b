// What a log's first lines say about it: which log it is, wherever it lies and under whatever
// name, and the match's world and start time when the server's first line gives them:
//
//   # Tarnwick match N (ID) on WORLD, started YYYY-MM-DDTHH:MM:SSZ
//
// A log known by its ID is that match. A log without one is known by a hash of its first
// kMaxLines lines; read while it had fewer, it was known by fewer, so each shorter head is a name
// it may have been stored under.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LogHead {
    static constexpr std::size_t kMaxLines = 16;
    static constexpr std::size_t kMaxBytes = kMaxLines * 4097;  // lines of at most 4096 bytes

    // `text`: the log's first bytes (at most kMaxBytes). None while not even the first line is
    // whole, or, unless `mayBeShort`, while a log without a match id has fewer than kMaxLines
    // lines: a log that is still being written is known only once its head is whole, so that two
    // logs that begin alike are not taken for one. With `finished`, a last line without its line
    // break counts as whole.
    static std::optional<LogHead> Parse(std::string_view text, bool finished, bool mayBeShort);

    std::vector<std::string> identities;  // best first
    std::string firstLine;
    std::string map;
    std::optional<std::int64_t> started;  // Unix seconds

    // FNV-1a, 64 bits.
    static std::uint64_t Hash(std::string_view bytes, std::uint64_t hash = 14695981039346656037ull);
};
