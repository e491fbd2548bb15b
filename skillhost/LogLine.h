// One line of a game-event log, read on its own:
//
//   # comment
//   player KEY ALT_KEY GROUP [NAME]      KEY, ALT_KEY: whole numbers 0 to 4294967295;
//                                        NAME: the rest of the line, blanks inside kept
//   event CODE WEAPON FIRST [SECOND]     FIRST, SECOND: the KEY of a listed player
//   at SECONDS                           the match clock from here on: seconds since the log's
//                                        start, never going back
//   leave KEY                            a listed player has left the match
//
// Blank lines and comments carry nothing. Tokens are split at blanks, tabs and carriage returns;
// every other byte belongs to a token.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

struct LogLine {
    enum class Kind { Nothing, Player, Event, At, Leave };

    // The longest line read, line break not counted; a longer one is an error, not a truncation.
    static constexpr std::size_t kMaxLength = 4096;

    Kind kind = Kind::Nothing;
    // Player lines.
    std::uint32_t key = 0;
    std::uint32_t altKey = 0;
    std::string_view group;
    std::string_view name;  // KEY's digits when the line has none
    // Event lines.
    std::int32_t code = 0;
    std::string_view weapon;
    std::uint32_t first = 0;
    std::optional<std::uint32_t> second;  // none when left out or "-"
    // At lines.
    std::uint32_t seconds = 0;
    // Leave lines name `first`.

    // Views into `text`. Throws LogLineError.
    static LogLine Parse(std::string_view text);
};

// What is wrong with a line, without the file and line number, which the caller adds.
class LogLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
