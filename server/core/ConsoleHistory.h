// The recent console lines with gap-free sequence numbers and their times, so that a front end
// that subscribes late (a browser, a reconnecting client) catches up from where it left off.
// Plain C++; used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct ConsoleEntry {
    uint64_t seq = 0;    // 1 for the first line of the run, then one more for each line
    int64_t timeMs = 0;  // milliseconds since the epoch, when the core took the line
    std::string text;    // the engine's bytes as they came (or the echo of a command)
};

class ConsoleHistory {
public:
    static constexpr std::size_t kDefaultCapacity = 1000;

    explicit ConsoleHistory(std::size_t capacity = kDefaultCapacity)
        : capacity_(capacity == 0 ? 1 : capacity) {}

    // Stores the line under the next sequence number, dropping the oldest beyond the capacity.
    const ConsoleEntry& Append(std::string text, int64_t timeMs);

    // The lines after `seq` that are still held, oldest first, at most `limit` of them.
    std::vector<ConsoleEntry> After(uint64_t seq, std::size_t limit = SIZE_MAX) const;
    uint64_t LastSeq() const { return nextSeq_ - 1; }
    std::size_t Size() const { return entries_.size(); }

private:
    std::size_t capacity_;
    uint64_t nextSeq_ = 1;
    std::deque<ConsoleEntry> entries_;
};
