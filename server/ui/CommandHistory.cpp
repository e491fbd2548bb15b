#include "CommandHistory.h"

#include <utility>

bool CommandHistory::Keepable(std::string_view command) {
    return !command.empty() && command.size() <= kMaxEntryBytes &&
           command.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void CommandHistory::Assign(std::vector<std::string> newEntries) {
    entries.clear();
    const std::size_t skip = newEntries.size() > kMaxEntries ? newEntries.size() - kMaxEntries : 0;
    for (std::size_t i = skip; i < newEntries.size(); ++i)
        entries.push_back(std::move(newEntries[i]));
    position = entries.size();
    typed.clear();
}

void CommandHistory::Add(std::string_view command) {
    if (Keepable(command) && (entries.empty() || entries.back() != command)) {
        entries.emplace_back(command);
        if (entries.size() > kMaxEntries) entries.pop_front();
    }
    position = entries.size();
    typed.clear();
}

std::optional<std::string> CommandHistory::Older(std::string_view typedNow) {
    if (position == 0) return std::nullopt;
    if (position == entries.size()) typed.assign(typedNow);
    return entries[--position];
}

std::optional<std::string> CommandHistory::Newer() {
    if (position >= entries.size()) return std::nullopt;
    if (++position == entries.size()) return std::exchange(typed, {});
    return entries[position];
}
