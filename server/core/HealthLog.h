// The health line a front end without a window logs: its text, and when a sample deserves one.
#pragma once

#include <string>

#include "HealthSample.h"

// One line, e.g. "health: 30.0 steps/s, tick p99 1.20 ms max 3.40 ms, period deviation p99
// 0.80 ms, lock wait max 0.05 ms, 0 overruns, 8 players, send 1234 B/s, receive 567 B/s".
std::string FormatHealthLine(const HealthSample& sample);

// Every minute, and at once when the server turns unhealthy: the update rate falls below 25 or
// a tick takes over 100 ms. While it stays unhealthy the minute rule alone applies, so a server
// that is slow for an hour says so sixty times, not 3600.
class HealthLogPacer {
public:
    static constexpr int kSamplesPerLine = 60;  // one sample a second
    static constexpr double kLowRate = 25.0;
    static constexpr int64_t kLongTickNs = 100'000'000;

    static bool Unhealthy(const HealthSample& sample);
    // Called with every sample in order; answers whether to log this one.
    bool ShouldLog(const HealthSample& sample);

private:
    int sinceLine_ = 0;
    bool wasUnhealthy_ = false;
};
