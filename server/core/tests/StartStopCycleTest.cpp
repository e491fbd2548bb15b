// The core's start-up and teardown, many times in one process against the engine module, as a
// server restarted by its operator again and again would be. Nothing may pile up: threads and
// descriptors are counted, and the asan build's LeakSanitizer checks the memory at exit.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "CoreEngineTest.h"
#include "ServerCore.h"
#include "ServerSettings.h"

namespace {

int CountEntries(const char* directory) {
    DIR* entries = ::opendir(directory);
    if (entries == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(entries))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(entries);
    return count - (std::string(directory) == "/proc/self/fd" ? 1 : 0);  // opendir's own
}

struct Resources {
    int threads = 0, descriptors = 0;
};

Resources Now() {
    return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd")};
}

// A joined thread may still be listed for a moment while the kernel finishes its exit.
Resources SettledTo(const Resources& wanted) {
    Resources now = Now();
    for (int i = 0;
         i < 100 && (now.threads != wanted.threads || now.descriptors != wanted.descriptors); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = Now();
    }
    return now;
}

// One run of what a front end does: start, let the worker step, a status pass with a command,
// and the teardown.
void OneCycle(int cycle) {
    ServerCore core({&CreateServerEngine, &ReleaseServerEngine});
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running) << "cycle " << cycle;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (core.StepCount() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(core.StepCount(), 2u) << "cycle " << cycle;
    EXPECT_EQ(core.SubmitConsoleCommand("status", Requester::Terminal()), ActionResult::Done);
    core.StatusPass();
    core.HealthPass();
    core.Shutdown();
    EXPECT_FALSE(core.HasServer());
}

TEST(StartStopCycles, TwoHundredRunsLeaveNoThreadOrDescriptorBehind) {
    const ScratchInstall install;
    setenv("TARNWICK_SIM_SEED", "9", 1);
    setenv("TARNWICK_SIM_BOTS", "8", 1);
    unsetenv("TARNWICK_SIM_FAIL");
    unsetenv("TARNWICK_ENGINE_TRACE");
    // The first runs load what stays loaded for the life of the process (the label library's
    // loader, Qt's event dispatcher); counting starts after them.
    for (int cycle = 0; cycle < 5; ++cycle) ASSERT_NO_FATAL_FAILURE(OneCycle(cycle));
    const Resources before = Now();
    for (int cycle = 5; cycle < 200; ++cycle) {
        ASSERT_NO_FATAL_FAILURE(OneCycle(cycle));
        const Resources now = SettledTo(before);
        ASSERT_EQ(now.threads, before.threads) << "after cycle " << cycle;
        ASSERT_EQ(now.descriptors, before.descriptors) << "after cycle " << cycle;
    }
}

}  // namespace
