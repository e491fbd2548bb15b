// Faults from outside the program, met by the core on the real engine module: a label library
// that is missing or lacks its lookup, and a world file that vanishes after the scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CoreEngineTest.h"
#include "ServerCore.h"
#include "ServerSettings.h"
#include "WorldNames.h"

namespace {

const EngineModule kModule{&CreateServerEngine, &ReleaseServerEngine};

bool ConsoleSaid(const ServerCore& core, const std::string& part) {
    const std::vector<ConsoleEntry> lines = core.Console().After(0);
    return std::any_of(lines.begin(), lines.end(), [&](const ConsoleEntry& line) {
        return line.text.find(part) != std::string::npos;
    });
}

class CoreFaults : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TARNWICK_SIM_SEED", "3", 1);
        setenv("TARNWICK_SIM_BOTS", "4", 1);
        unsetenv("TARNWICK_SIM_FAIL");
        unsetenv("TARNWICK_ENGINE_TRACE");
    }
    ScratchInstall install;
};

TEST_F(CoreFaults, AMissingLabelLibraryOrOneWithoutItsLookupFailsTheStartUpSayingWhy) {
    const std::filesystem::path library = "tarnwick/quillon.so";
    ASSERT_TRUE(std::filesystem::remove(library));
    {
        ServerCore core(kModule);
        EXPECT_EQ(core.Start(), EngineSession::StartupResult::Failed);
        EXPECT_NE(core.FailureReason().find("the label library could not be loaded"),
                  std::string::npos);
        EXPECT_NE(core.FailureReason().find("quillon"), std::string::npos) << core.FailureReason();
        EXPECT_FALSE(core.HasServer());  // torn down: the engine is released
        EXPECT_EQ(core.Status().state, ServerState::Stopped);
    }
    // Some other library in its place: it loads, but the lookup is not there.
    std::filesystem::copy_file(TARNWICK_ENGINE_MODULE, library);
    ServerCore core(kModule);
    EXPECT_EQ(core.Start(), EngineSession::StartupResult::Failed);
    EXPECT_NE(core.FailureReason().find("does not export quillon_load_string"), std::string::npos)
        << core.FailureReason();
    EXPECT_TRUE(ConsoleSaid(core, "Server start-up failed: the label library"));
    EXPECT_FALSE(core.HasServer());
}

TEST_F(CoreFaults, AWorldWhoseFileVanishedAfterTheScanIsRefusedAndTheServerRunsOn) {
    ServerCore core(kModule);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    const std::vector<std::string> worlds = core.Worlds();
    for (const char* world : {"worlds/antarctica", "worlds/quarry", "worlds/sandpit"})
        ASSERT_NE(std::find(worlds.begin(), worlds.end(), world), worlds.end()) << world;
    ASSERT_EQ(core.SetRotation({"worlds/antarctica", "worlds/quarry", "worlds/sandpit"},
                               Requester::Window()),
              ActionResult::Done);

    ASSERT_TRUE(std::filesystem::remove("worlds/quarry.dat"));
    EXPECT_EQ(core.ChangeMap({1, "worlds/quarry"}, Requester::Window()), ActionResult::Refused);
    core.StatusPass();
    EXPECT_EQ(core.Status().world, "worlds/antarctica") << "the status keeps the world that runs";
    EXPECT_TRUE(ConsoleSaid(core, "no world file for \"worlds/quarry\""));
    EXPECT_EQ(core.SubmitConsoleCommand("changemap 1", Requester::Terminal()), ActionResult::Done);
    EXPECT_EQ(core.Status().world, "worlds/antarctica");

    // The server runs on, and a world that is there (its file named in capitals) still works.
    const uint64_t steps = core.StepCount();
    EXPECT_EQ(core.ChangeMap({2, "worlds/sandpit"}, Requester::Window()), ActionResult::Done);
    EXPECT_EQ(core.Status().world, "worlds/sandpit");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (core.StepCount() < steps + 3 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(core.StepCount(), steps + 3);
    core.StatusPass();
    EXPECT_EQ(core.Status().state, ServerState::Running);
    core.Shutdown();
}

}  // namespace
