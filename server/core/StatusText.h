// The server's status in one line of text, for every front end that shows it as text: the
// window's bottom line and the service manager's status. The world, players against the maximum,
// how long the server has run, and where the web admin listens when it is on. Bytes as the
// engine's texts are (the world name comes from the rotation).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ServerCore.h"

std::string StatusText(const ServerStatus& status, int64_t nowMs, std::string_view webAdminAddress);
