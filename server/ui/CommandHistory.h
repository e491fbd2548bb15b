// The commands sent from the command field, oldest first, walked with Up and Down as a shell
// does: Up from the field's own text goes back through them, Down comes forward again and, past
// the newest, gives back what was typed before the walk began.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CommandHistory {
public:
    static constexpr std::size_t kMaxEntries = 500;
    static constexpr std::size_t kMaxEntryBytes = 119;  // what the command field sends

    // Replaces every entry; only the newest kMaxEntries stay.
    void Assign(std::vector<std::string> entries);
    // A command that was sent. A repeat of the newest is kept once; a text that no command can
    // hold (empty, too long, a line break or NUL) is not kept. Ends any walk.
    void Add(std::string_view command);

    // Up: the next older command; none at the oldest or with no history.
    std::optional<std::string> Older(std::string_view typed);
    // Down: the next newer command, or the typed text past the newest; none when not walking.
    std::optional<std::string> Newer();

    const std::deque<std::string>& Entries() const { return entries; }
    static bool Keepable(std::string_view command);

private:
    std::deque<std::string> entries;
    std::size_t position = 0;  // entries.size() while not walking
    std::string typed;
};
