#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include "EngineTestSupport.h"

class TraceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SetControl("TARNWICK_ENGINE_TRACE", path);
        CreateEngine();
    }
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    TempDirectory dir;
    std::string path = dir.File("trace.log");
};

TEST_F(TraceTest, TwoThreadsWithoutALockAreCaughtAndWithOneAreNot) {
    StartGame();
    std::mutex hostLock;
    std::atomic<bool> go{false};
    auto worker = [&](const char* command, bool locked) {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 2000; ++i) {
            std::unique_lock lock(hostLock, std::defer_lock);
            if (locked) lock.lock();
            engine->Tick(0);
            engine->ExecuteCommand(command);
        }
    };
    for (bool locked : {true, false}) {
        go = false;
        std::thread a(worker, "status", locked), b(worker, "sim_bots 12", locked);
        go = true;
        a.join();
        b.join();
        EXPECT_EQ(std::ranges::count(Lines(), std::string("OVERLAP")) > 0, !locked) << locked;
    }
}
