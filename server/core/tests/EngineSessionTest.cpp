#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "EngineSession.h"
#include "FakeEngine.h"
#include "ServerSettings.h"

namespace {

constexpr std::chrono::milliseconds kWait{500};

class EngineSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeEngineModule::bound = &engine;
        FakeEngineModule::releases = 0;
    }
    void TearDown() override { session.ShutdownEngine(); }

    size_t Count(const std::string& call) const {
        return static_cast<size_t>(std::count(engine.calls.begin(), engine.calls.end(), call));
    }

    FakeEngine engine;
    EngineSession session{{&FakeEngineModule::Create, &FakeEngineModule::Release}, [] {}};
    ServerSettings settings{session};
};

TEST_F(EngineSessionTest, ABindingFailureLeavesNothingToTearDown) {
    FakeEngineModule::bound = nullptr;
    EXPECT_EQ(session.Start(settings), EngineSession::StartupResult::NotBound);
    EXPECT_FALSE(session.IsBound());
    session.ShutdownEngine();
    EXPECT_EQ(FakeEngineModule::releases, 0);
}

TEST_F(EngineSessionTest, EachLaterFailureTearsDownOnceAndStartsNoWorker) {
    struct Case {
        const char* name;
        std::function<void(FakeEngine&)> breakIt;
    };
    const Case cases[] = {
        {"attach", [](FakeEngine& e) { e.attachResult = 1; }},
        {"resources", [](FakeEngine& e) { e.registerResult = 0; }},
        {"drivers", [](FakeEngine& e) { e.listDriversResult = 0; }},
        {"release 0", [](FakeEngine& e) { e.releaseDriversResult = 0; }},
        {"release 2", [](FakeEngine& e) { e.releaseDriversResult = 2; }},
        {"init", [](FakeEngine& e) { e.initResult = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEngine fake;
        c.breakIt(fake);
        FakeEngineModule::bound = &fake;
        FakeEngineModule::releases = 0;
        EngineSession s({&FakeEngineModule::Create, &FakeEngineModule::Release}, [] {});
        ServerSettings store(s);
        EXPECT_EQ(s.Start(store), EngineSession::StartupResult::Failed);
        EXPECT_FALSE(s.IsBound());
        EXPECT_FALSE(s.IsWorkerRunning());
        EXPECT_EQ(FakeEngineModule::releases, 1);
        EXPECT_EQ(fake.calls.back(), "AttachHost null");
        s.ShutdownEngine();  // a second teardown does nothing more
        EXPECT_EQ(FakeEngineModule::releases, 1);
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "Tick"), 0);
    }
}

TEST_F(EngineSessionTest, StartUpRunsItsStepsInOrderAndFillsTheLaunchRecords) {
    engine.configLines = {"map0 Worlds/Sandpit", "maxplayers 24"};
    engine.drivers = {{3, "internet tcp/ip"}, {7, "Internet TCP/IP"}, {9, "Internet TCP/IP"}};
    ASSERT_EQ(session.Start(settings), EngineSession::StartupResult::Running);
    session.ShutdownEngine();
    EXPECT_EQ(FakeEngineModule::lastVersion, 2);
    EXPECT_EQ(std::memcmp(&FakeEngineModule::lastGuid, &kServerEngineGuid,
                          sizeof FakeEngineModule::lastGuid),
              0);

    // The steps in order, each found after the one before it.
    auto at = engine.calls.begin();
    for (const char* step : {"AttachHost sink", "RegisterResources tarnwick tarnwick.rez",
                             "ReadConfig tarnwick/server.cfg", "WriteConfig tarnwick/server.cfg 4",
                             "ChooseNetworkDriver 7", "InitServer 24", "StartServer worlds/sandpit",
                             "SendHostMessage \\x01\\x0a"}) {
        at = std::find(at, engine.calls.end(), step);
        ASSERT_NE(at, engine.calls.end()) << step;
    }
    EXPECT_EQ(Count("ChooseNetworkDriver 9") + Count("ChooseNetworkDriver 3"), 0u);

    const ServerLaunchInfo& launch = *engine.lastLaunch;
    EXPECT_EQ(launch.zero, 0);
    EXPECT_EQ(launch.maxPlayers, 24);
    EXPECT_EQ(launch.gameDescriptionSize, 180);
    for (const auto& text : launch.emptyTexts) EXPECT_EQ(text[0], '\0');
    EXPECT_TRUE(std::all_of(std::begin(launch.zeroes2), std::end(launch.zeroes2),
                            [](uint8_t b) { return b == 0; }));
    EXPECT_STREQ(engine.lastGame->worldName, "worlds/sandpit");
    EXPECT_STREQ(engine.lastGame->worldNameAgain, "worlds/sandpit");
    EXPECT_EQ(engine.lastGame->zero1, 0);
    EXPECT_EQ(engine.lastGame->zero2, 0);
    EXPECT_EQ(engine.lastInit->zero, 0);
    EXPECT_STREQ(engine.lastInit->launchText, "");
}

TEST_F(EngineSessionTest, LongWorldNamesAreCutToTheirFieldsNeverPastThem) {
    engine.configLines = {"map0 " + std::string(200, 'W')};
    ASSERT_EQ(session.Start(settings), EngineSession::StartupResult::Running);
    session.ShutdownEngine();
    EXPECT_EQ(std::strlen(engine.lastLaunch->worldName), 99u);
    EXPECT_EQ(std::strlen(engine.lastGame->worldName), 63u);
    EXPECT_EQ(std::string(engine.lastGame->worldNameAgain), std::string(63, 'w'));
}

TEST_F(EngineSessionTest, TheWorkerTicksUntilTheEngineStopsThenTheNextPassTearsDown) {
    std::atomic<int> ticks{0};
    engine.onTick = [&](FakeEngine& e) {
        if (++ticks == 3) e.tickResult = 0;
    };
    ASSERT_EQ(session.Start(settings), EngineSession::StartupResult::Running);
    for (int i = 0; i < 200 && session.IsBound(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        session.RunPendingTeardown();
    }
    EXPECT_FALSE(session.IsBound());
    EXPECT_EQ(ticks.load(), 3);  // no step after the engine said it stopped
    EXPECT_EQ(FakeEngineModule::releases, 1);
    // The lock outlives the teardown: the rest of that pass still takes it.
    EXPECT_TRUE(session.TakeSnapshot(kWait)->players.empty());
    EXPECT_FALSE(session.WithEngine([](ServerEngine&) {}));
}

}  // namespace
