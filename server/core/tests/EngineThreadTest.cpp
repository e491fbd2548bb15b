// The two threads against the real engine module: the worker steps the engine while this thread
// does what the front ends do through the core (status passes with their ping queries, operator
// commands, kicks), players churn, and the engine's close message arrives from inside Tick. Run
// under the thread sanitizer; the engine's own trace must never show two threads inside it at
// once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "ServerCore.h"
#include "ServerSettings.h"
#include "StepRing.h"

namespace {

TEST(EngineThreads, ChurnCommandsKicksAndACloseFromInsideTickNeverOverlap) {
    const std::string trace = testing::TempDir() + "engine_thread_trace.txt";
    std::remove(trace.c_str());
    setenv("TARNWICK_ENGINE_TRACE", trace.c_str(), 1);
    setenv("TARNWICK_SIM_SEED", "7", 1);
    setenv("TARNWICK_SIM_BOTS", "16", 1);
    unsetenv("TARNWICK_SIM_FAIL");
    unsetenv("TARNWICK_SIM_CLOSE_AFTER_TICKS");

    int closeRequests = 0;
    ServerCore core({&CreateServerEngine, &ReleaseServerEngine});
    QObject::connect(&core, &ServerCore::closeRequested, [&] { ++closeRequests; });
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);

    std::mt19937 random(11);
    std::set<int32_t> seenPlayers;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int pass = 0; std::chrono::steady_clock::now() < until; ++pass) {
        core.StatusPass();
        const std::vector<PlayerRecord>& players = core.Players();
        for (const PlayerRecord& player : players) seenPlayers.insert(player.clientId);
        if (pass % 3 == 0) core.SubmitConsoleCommand("status", Requester::Terminal());
        if (pass % 5 == 0) core.SubmitConsoleCommand("sim_join Op", Requester::Terminal());
        if (pass % 4 == 0 && !players.empty())
            core.Kick(players[random() % players.size()].clientId, Requester::Window());
        if (pass % 25 == 0) core.HealthPass();  // drains the worker's step records
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    core.SubmitConsoleCommand("sim_close", Requester::Terminal());
    for (int i = 0; i < 300 && closeRequests == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCoreApplication::processEvents();
    }
    const std::size_t consoleLines = core.Console().Size();
    int recordedSteps = 0;
    for (const HealthSample& sample : core.Health()) recordedSteps += sample.steps;
    core.Shutdown();
    unsetenv("TARNWICK_ENGINE_TRACE");

    EXPECT_EQ(closeRequests, 1);
    EXPECT_GT(seenPlayers.size(), 4u);  // players came and went
    EXPECT_GT(consoleLines, 0u);
    EXPECT_FALSE(core.HasServer());

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
    EXPECT_GT(recordedSteps, 30);
    EXPECT_LE(recordedSteps, ticks);
}

TEST(EngineThreads, TheStepRingHandsOverEveryRecordOnceAndInOrderOrCountsItLost) {
    StepRing ring;
    constexpr int64_t kRecords = 200000;
    std::thread worker([&ring] {
        for (int64_t i = 1; i <= kRecords; ++i) ring.Push({i, 0, 0, false});
    });
    int64_t last = 0, received = 0, lost = 0;
    bool ordered = true;
    while (received + lost < kRecords) {
        received += static_cast<int64_t>(ring.Drain([&](const StepRecord& r) {
            ordered = ordered && r.tickNs > last;
            last = r.tickNs;
        }));
        lost += static_cast<int64_t>(ring.TakeLost());
    }
    worker.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(received + lost, kRecords);
    EXPECT_GT(received, 0);
}

}  // namespace
