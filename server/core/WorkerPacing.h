// The worker's timing rules as plain functions of millisecond clock readings, so they can be
// checked with made-up readings. Readings are 32-bit and wrap every 49.7 days; every comparison
// here works on differences, so the wrap is just another millisecond.
#pragma once

#include <array>
#include <cstdint>

inline constexpr uint32_t kEnginePeriodMs = 33;

struct PacingStep {
    uint32_t pause;      // milliseconds to sleep after the step
    uint32_t nextStart;  // where the next period begins, given the reading after the sleep
};

// How long to sleep after a step that began its period at `start` and ended at `done`: the rest of
// the 33 ms. A step quicker than the clock's resolution sleeps the whole period (skipping the
// sleep there would spin the engine as fast as the processor allows); an overrun gets none.
constexpr uint32_t PauseAfterStep(uint32_t start, uint32_t done) {
    const uint32_t taken = done - start;
    return taken < kEnginePeriodMs ? kEnginePeriodMs - taken : 0;
}

// An overrun sleep is absorbed by starting the next period at the planned boundary.
constexpr uint32_t NextPeriodStart(uint32_t done, uint32_t pause, uint32_t now) {
    return pause != 0 && now - done > pause ? done + pause : now;
}

// The engine's update rate: steps per second averaged over the last 64 step intervals.
class UpdateRateMeter {
public:
    static constexpr int kSlots = 64;

    explicit UpdateRateMeter(uint32_t clockBase = 0) : lastStep_(clockBase) {}

    // Records the interval from the previous step (or from program start) to `now`, and takes
    // `stepMark` as the previous step for the next call. Answers the new rate.
    float RecordStep(uint32_t now, uint32_t stepMark);
    float Rate() const { return rate_; }

private:
    std::array<float, kSlots> history_{};
    int position_ = 0;
    uint32_t lastStep_;
    float rate_ = 0.0f;
};
