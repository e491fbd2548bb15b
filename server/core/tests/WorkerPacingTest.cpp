#include <gtest/gtest.h>

#include "WorkerPacing.h"

namespace {

TEST(WorkerPacing, SleepsTheRestOfThePeriod) {
    EXPECT_EQ(PauseAfterStep(1000, 1005), 28u);
    EXPECT_EQ(PauseAfterStep(1000, 1032), 1u);
    EXPECT_EQ(PauseAfterStep(1000, 1033), 0u);   // the step took the whole period
    EXPECT_EQ(PauseAfterStep(1000, 1100), 0u);   // overran
    EXPECT_EQ(PauseAfterStep(1000, 1000), 33u);  // quicker than the clock: the whole period
}

TEST(WorkerPacing, AcrossTheClockWrapThePeriodIsStillKept) {
    EXPECT_EQ(PauseAfterStep(0xFFFFFFF0u, 0xFFFFFFF5u), 28u);
    EXPECT_EQ(PauseAfterStep(0xFFFFFFF0u, 0x00000002u), 15u);
    EXPECT_EQ(NextPeriodStart(0xFFFFFFFEu, 10, 0x00000020u), 0x00000008u);
}

TEST(WorkerPacing, AnOverrunSleepStartsTheNextPeriodAtThePlannedBoundary) {
    EXPECT_EQ(NextPeriodStart(1005, 28, 1033), 1033u);  // slept exactly
    EXPECT_EQ(NextPeriodStart(1005, 28, 1045), 1033u);  // overslept by 12 ms
    EXPECT_EQ(NextPeriodStart(1040, 0, 1041), 1041u);   // no sleep: start now
}

// The rate after a full ring of steps `period` ms apart, from `t` on.
float RateAfterSteps(UpdateRateMeter& meter, uint32_t t, uint32_t period) {
    for (int i = 0; i < 64; ++i) {
        t += period;
        meter.RecordStep(t, t);
    }
    return meter.Rate();
}

TEST(UpdateRateMeter, SteadyPeriodsShowThirtyAndShortOnesAreCappedAtAHundred) {
    UpdateRateMeter steady(0), fast(0);
    EXPECT_EQ(static_cast<int>(RateAfterSteps(steady, 0, 33)), 30);
    EXPECT_EQ(RateAfterSteps(fast, 0, 5), 100.0f);
}

TEST(UpdateRateMeter, UntilTheRingIsFullTheEmptySlotsCountAsZero) {
    UpdateRateMeter meter(0);
    // First interval runs from program start: 2 s, then the rest are empty.
    EXPECT_NEAR(meter.RecordStep(2000, 2000), 32.0f, 0.01f);
    // One 33 ms step among 63 zeros averages below 10 ms: capped.
    UpdateRateMeter quick(1000);
    EXPECT_EQ(quick.RecordStep(1033, 1033), 100.0f);
}

TEST(UpdateRateMeter, StaysExactAfterWeeksOfUptime) {
    UpdateRateMeter meter(5);
    const uint32_t t = 5 + 21u * 24 * 3600 * 1000;  // three weeks in
    meter.RecordStep(t, t);
    EXPECT_EQ(static_cast<int>(RateAfterSteps(meter, t, 33)), 30);
}

}  // namespace
