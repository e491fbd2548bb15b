#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <string>

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

TEST(SignalBridgeTest, TheHandlerWritesTheStopLineWithItsTimeInOneWrite) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    {
        SignalBridge bridge(fds[1], [](const std::string& text) {
            return SignalBridge::StopLine{"<", " " + text + ">\n", true};
        });
        EXPECT_EQ(RaiseAndWait(bridge, SIGINT), SIGINT);
    }
    char buffer[256];
    const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
    ::close(fds[0]);
    ::close(fds[1]);
    ASSERT_GT(count, 0);
    const std::string line(buffer, static_cast<std::size_t>(count));
    ASSERT_EQ(line.size(), 1 + 24 + 21u) << line;
    EXPECT_EQ(line.substr(25), " stopping on SIGINT>\n");
    EXPECT_EQ(line[11], 'T');
    EXPECT_EQ(line[24], 'Z');
}

TEST(SignalBridgeDeathTest, ASecondSignalWhileStoppingEndsTheProcessAtOnceAfterTheStopLine) {
    EXPECT_EXIT(
        {
            SignalBridge bridge(STDERR_FILENO, [](const std::string& text) {
                return SignalBridge::StopLine{"server: " + text + "\n", "", false};
            });
            std::raise(SIGTERM);  // the orderly stop is requested...
            std::raise(SIGINT);   // ...and this one does not wait for it
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGINT), "server: stopping on SIGTERM");
}

}  // namespace
