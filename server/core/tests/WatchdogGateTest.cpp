// The watchdog's rule: a ping only when the worker and the user-interface thread's loop have both
// moved, a trigger when the worker stood for the whole limit while the engine should run.
#include <gtest/gtest.h>

#include "WatchdogGate.h"

namespace {

using std::chrono::microseconds;
using std::chrono::seconds;

using Verdict = WatchdogGate::Verdict;
const WatchdogGate::Clock::time_point kStart{};

TEST(WatchdogGateTest, PingsOnlyWhenTheWorkerAndTheLoopBothMovedSinceTheLastPing) {
    WatchdogGate gate{seconds(10)};
    EXPECT_EQ(gate.Check(kStart, 0, 0, true), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(5), 150, 0, true), Verdict::Wait);  // loop stuck
    EXPECT_EQ(gate.Check(kStart + seconds(6), 180, 1, true), Verdict::Ping);
    EXPECT_EQ(gate.Check(kStart + seconds(7), 180, 9, true), Verdict::Wait);  // worker not since
    EXPECT_EQ(gate.Check(kStart + seconds(8), 181, 9, true), Verdict::Ping);
    EXPECT_EQ(gate.Check(kStart + seconds(9), 200, 10, false), Verdict::Wait);  // not running
}

TEST(WatchdogGateTest, TriggersWhenTheWorkerStoodTheWholeLimitWhileItShouldRun) {
    WatchdogGate gate{seconds(10), 100, 7};
    EXPECT_EQ(gate.Check(kStart, 100, 8, true), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(5), 100, 9, true), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(10) - microseconds(1), 100, 10, true), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(10), 100, 11, true), Verdict::Trigger);

    // Stopped, then running again: the limit counts from the last check that saw it stopped.
    EXPECT_EQ(gate.Check(kStart + seconds(30), 100, 12, false), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(35), 100, 13, true), Verdict::Wait);
    EXPECT_EQ(gate.Check(kStart + seconds(40), 100, 14, true), Verdict::Trigger);
    EXPECT_EQ(gate.Check(kStart + seconds(41), 101, 15, true), Verdict::Ping);
}

}  // namespace
