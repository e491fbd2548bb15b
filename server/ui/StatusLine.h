// The window's bottom line: the world, players against the maximum, how long the server has run,
// and where the web admin listens when it is on. Bytes as the engine's texts are (the world name
// comes from the rotation), shown by the byte text rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ServerCore.h"

std::string StatusLineText(const ServerStatus& status, int64_t nowMs,
                           std::string_view webAdminAddress);
