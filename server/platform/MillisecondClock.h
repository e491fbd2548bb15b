// Milliseconds since an arbitrary point, from the monotonic clock, as a 32-bit reading that wraps
// every 49.7 days like the tick counters the worker's timing was written for.
#pragma once

#include <chrono>
#include <cstdint>

inline uint32_t MillisecondClock() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The clock reading taken once while the program starts; the update rate's first interval runs
// from it. The first call fixes it.
inline uint32_t ProgramClockBase() {
    static const uint32_t base = MillisecondClock();
    return base;
}
