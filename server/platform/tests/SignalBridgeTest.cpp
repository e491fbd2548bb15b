#include <gtest/gtest.h>

#include <csignal>

#include "EventLoop.h"
#include "SignalBridge.h"

namespace {

// Answers the signal that reached the event loop, or 0.
int RaiseAndWait(SignalBridge& bridge, int signalNumber) {
    int received = 0;
    const QMetaObject::Connection connection = QObject::connect(
        &bridge, &SignalBridge::TerminationRequested, [&](int number) { received = number; });
    std::raise(signalNumber);
    EXPECT_EQ(received, 0) << "emitted inside the handler, not on the event loop";
    RunEventsUntil([&] { return received != 0; });
    QObject::disconnect(connection);
    return received;
}

TEST(SignalBridgeTest, EachTerminationSignalReachesTheEventLoopAsASignal) {
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SignalBridge bridge;
        ASSERT_TRUE(bridge.IsInstalled());
        EXPECT_EQ(RaiseAndWait(bridge, signalNumber), signalNumber);
    }
}

TEST(SignalBridgeTest, OnlyOneBridgeAtATimeAndTheOldActionsComeBack) {
    std::signal(SIGINT, SIG_IGN);
    {
        SignalBridge bridge;
        ASSERT_TRUE(bridge.IsInstalled());
        EXPECT_FALSE(SignalBridge().IsInstalled());
        EXPECT_EQ(RaiseAndWait(bridge, SIGINT), SIGINT);
    }
    struct sigaction action {};
    ::sigaction(SIGINT, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    EXPECT_TRUE(SignalBridge().IsInstalled());
}

TEST(SignalBridgeDeathTest, ASecondSignalWhileStoppingEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            SignalBridge bridge;
            std::raise(SIGTERM);  // the orderly stop is requested...
            std::raise(SIGINT);   // ...and this one does not wait for it
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
}

}  // namespace
