#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
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
        for (std::ifstream in(path); std::getline(in, lines.emplace_back());) {}
        return lines.pop_back(), lines;
    }
    TempDirectory dir;
    std::string path = dir.File("trace.log");
};

TEST_F(TraceTest, EachCallIsOneLineWithTimeThreadNameAndArguments) {
    engine->ExecuteCommand("say \"hi\"\tthere\x01" "1");
    uint32_t handle = 0;
    engine->FindVariable("NumMaps", &handle, 0);
    StartGame("worlds/b", 12);
    ReleaseEngine();
    const auto lines = Lines();
    ASSERT_GE(lines.size(), 10u);
    const std::regex shape(R"(^\d+\.\d{3}\t1\t[A-Za-z.0-9]+(\t.*)?$)");
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i], shape)) << lines[i];
        EXPECT_GE(std::stod(lines[i]), i ? std::stod(lines[i - 1]) : 0.0) << "time goes on";
    }
    const char* expected[] = {"CreateServerEngine\t2\t\"{F6BD878B-3176-4196-B08F-40F3DC5AB353}\"",
                              "AttachHost\t",
                              "ExecuteCommand\t\"say \\\"hi\\\"\\tthere\\x01\"\"1\"",
                              "sink.OnEngineMessage\t",  // say speaks through a message
                              "FindVariable\t\"NumMaps\"\t0",
                              "InitServer\t{zero=0 maxPlayers=12 launchText=\"\"}",
                              "StartServer\t", "sink.OnConsoleOutput\t"};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const std::string tail =
            lines[i].substr(lines[i].find('\t', lines[i].find('\t') + 1) + 1) + "\t";
        EXPECT_TRUE(tail.starts_with(expected[i])) << tail;
    }
    EXPECT_TRUE(lines[lines.size() - 2].ends_with("AttachHost\tNULL"));
    EXPECT_TRUE(lines.back().ends_with("\tReleaseServerEngine"));
}

TEST_F(TraceTest, TwoThreadsWithoutALockAreCaughtAndWithOneAreNot) {
    StartGame();
    std::mutex hostLock;
    std::atomic<bool> go{false};
    auto worker = [&](const char* command, bool locked) {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 2000; ++i) {
            std::unique_lock lock(hostLock, std::defer_lock);
            if (locked) lock.lock();
            engine->Tick(0), engine->ExecuteCommand(command);
        }
    };
    for (bool locked : {true, false}) {
        go = false;
        std::thread a(worker, "status", locked), b(worker, "sim_bots 12", locked);
        go = true;
        a.join(), b.join();
        EXPECT_EQ(std::ranges::count(Lines(), std::string("OVERLAP")) > 0, !locked) << locked;
    }
}
