// What a console command may be, from any front end: the window's field, a line of standard
// input, a web request. One rule, so that a command refused in one place is refused everywhere
// and none is ever cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CoreActions.h"

namespace command_rules {

inline constexpr std::size_t kMaxLength = 119;  // what the engine's console line takes

// Done when the command may be sent as it stands; otherwise why not (Empty, TooLong, UnsafeText).
// Control characters other than a tab are refused: a line break would start a second command,
// and a NUL would cut the first.
ActionResult Check(std::string_view command);

// "quit" in any case, blanks around it allowed: the engine ends its game server.
bool IsQuit(std::string_view command);

// The position of a "changemap N" in any case, so that the status can follow it.
std::optional<int> ChangeMapPosition(std::string_view command);

// A command that gives serverpassword or remoteadminpassword a value, in any case, as
// `+name "..."` or `name value`.
bool SetsPassword(std::string_view command);
// The command as it may be shown and recorded: a password's value becomes ********. The engine
// still gets the command itself.
std::string Masked(std::string_view command);

// The ban commands, which the core answers itself and never sends to the engine:
//   ban NAME [MINUTES] [REASON]   unban NAME   bans
// NAME is one word, or a text in double quotes in which \" and \\ stand for " and \; MINUTES
// is a whole number (0 or none: for good); REASON is the rest of the line.
struct BanCommand {
    enum class Kind { Ban, Unban, List };
    Kind kind = Kind::List;
    std::string name;
    int64_t minutes = 0;
    std::string reason;
    std::string usage;  // set when the command is malformed: what to say instead
};
std::optional<BanCommand> ParseBanCommand(std::string_view command);

}  // namespace command_rules
