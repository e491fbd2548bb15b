#include "ConsoleHistory.h"

#include <algorithm>

const ConsoleEntry& ConsoleHistory::Append(std::string text, int64_t timeMs) {
    if (entries_.size() == capacity_) entries_.pop_front();
    entries_.push_back({nextSeq_++, timeMs, std::move(text)});
    return entries_.back();
}

std::vector<ConsoleEntry> ConsoleHistory::After(uint64_t seq, std::size_t limit) const {
    std::vector<ConsoleEntry> out;
    if (entries_.empty() || seq >= entries_.back().seq) return out;
    // Sequence numbers are consecutive, so the first line after seq is found by arithmetic.
    const uint64_t first = entries_.front().seq;
    const std::size_t from = seq < first ? 0 : static_cast<std::size_t>(seq - first + 1);
    const std::size_t count = std::min(limit, entries_.size() - from);
    out.assign(entries_.begin() + static_cast<std::ptrdiff_t>(from),
               entries_.begin() + static_cast<std::ptrdiff_t>(from + count));
    return out;
}
