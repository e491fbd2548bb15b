// The Time column's text for a connected span: "1d:01h:01m:01s", "01h:00m:00s" or "00m:59s".
#pragma once

#include <cstdint>
#include <string>

// Negative spans (a join time in the future after the clock was set back) keep their signs in
// every part, e.g. -65 gives "-1m:-5s".
std::string FormatConnectedTime(int32_t seconds);
