// What a console command may be, from any front end: the window's field, a line of standard
// input, a web request. One rule, so that a command refused in one place is refused everywhere
// and none is ever cut.
#pragma once

#include <cstddef>
#include <optional>
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

}  // namespace command_rules
