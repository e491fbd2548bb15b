// The two threads against the real engine module: the worker steps the engine while this thread
// does what the window does (snapshots, ping queries, operator commands, kicks), players churn,
// and the engine's close message arrives from inside Tick. Run under the thread sanitizer; the
// engine's own trace must never show two threads inside it at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "EngineSession.h"
#include "ServerSettings.h"

namespace {

TEST(EngineThreads, ChurnCommandsKicksAndACloseFromInsideTickNeverOverlap) {
    const std::string trace = testing::TempDir() + "engine_thread_trace.txt";
    std::remove(trace.c_str());
    setenv("TARNWICK_ENGINE_TRACE", trace.c_str(), 1);
    setenv("TARNWICK_SIM_SEED", "7", 1);
    setenv("TARNWICK_SIM_BOTS", "16", 1);
    unsetenv("TARNWICK_SIM_FAIL");
    unsetenv("TARNWICK_SIM_CLOSE_AFTER_TICKS");
    ServerSettings::Instance().Reset();

    std::atomic<int> closeRequests{0};
    EngineSession session({&CreateServerEngine, &ReleaseServerEngine}, [&] { ++closeRequests; });
    ASSERT_EQ(session.Start(), EngineSession::StartupResult::Running);

    std::mt19937 random(11);
    std::set<int32_t> seenPlayers;
    size_t consoleLines = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int pass = 0; std::chrono::steady_clock::now() < until; ++pass) {
        session.RunPendingTeardown();
        const EngineSession::Snapshot snapshot = session.TakeSnapshot();
        consoleLines += snapshot.consoleLines.size();
        for (const PlayerRecord& player : snapshot.players) {
            seenPlayers.insert(player.clientId);
            session.ClientPingSeconds(player.clientId);
        }
        if (pass % 3 == 0) session.WithEngine([](ServerEngine& e) { e.ExecuteCommand("status"); });
        if (pass % 5 == 0) session.WithEngine([](ServerEngine& e) { e.ExecuteCommand("sim_join Op"); });
        if (pass % 4 == 0 && !snapshot.players.empty()) {
            const int32_t id = snapshot.players[random() % snapshot.players.size()].clientId;
            session.WithEngine([id](ServerEngine& e) { e.DropClient(id); });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session.WithEngine([](ServerEngine& e) { e.ExecuteCommand("sim_close"); });
    for (int i = 0; i < 300 && closeRequests == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    session.ShutdownEngine();
    unsetenv("TARNWICK_ENGINE_TRACE");

    EXPECT_EQ(closeRequests.load(), 1);
    EXPECT_GT(seenPlayers.size(), 4u);  // players came and went
    EXPECT_GT(consoleLines, 0u);
    EXPECT_FALSE(session.IsBound());

    std::ifstream lines(trace);
    ASSERT_TRUE(lines.good());
    std::string line;
    int ticks = 0, overlaps = 0;
    while (std::getline(lines, line)) {
        if (line.find("\tTick") != std::string::npos) ++ticks;
        if (line == "OVERLAP") ++overlaps;
    }
    EXPECT_GT(ticks, 30);
    EXPECT_EQ(overlaps, 0);
}

}  // namespace
