#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "EngineTestSupport.h"

namespace {

struct TraceLine {
    double timeMs = -1;
    int thread = 0;
    std::string name;
    std::vector<std::string> args;
};

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TraceLine Split(const std::string& line) {
    TraceLine parsed;
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (fields.size() < 3) return parsed;
    parsed.timeMs = std::stod(fields[0]);
    parsed.thread = std::stoi(fields[1]);
    parsed.name = fields[2];
    parsed.args.assign(fields.begin() + 3, fields.end());
    return parsed;
}

// A sink whose handler calls back into the engine, as a host may.
class ReenteringSink final : public EngineHostSink {
public:
    int32_t OnEngineMessage(const char*) override { return 0; }
    int32_t OnConsoleOutput(const char*) override {
        uint32_t handle = 0;
        if (engine != nullptr) engine->FindVariable("x", &handle, 0);
        return 0;
    }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }
    ServerEngine* engine = nullptr;
};

}  // namespace

class TraceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        tracePath = dir.File("trace.log");
        SetControl("TARNWICK_ENGINE_TRACE", tracePath);
    }
    int Overlaps() {
        int count = 0;
        for (const std::string& line : Lines(tracePath)) count += line == "OVERLAP";
        return count;
    }
    TempDirectory dir;
    std::string tracePath;
};

TEST_F(TraceTest, EachCallIsOneLineWithTimeThreadNameAndArguments) {
    CreateEngine();
    engine->ExecuteCommand(
        "say \"hi\"\tthere\x01"
        "1");
    uint32_t handle = 0;
    engine->FindVariable("NumMaps", &handle, 0);
    StartGame("worlds/b", 12);
    engine->Tick(0);
    ReleaseEngine();

    const auto lines = Lines(tracePath);
    ASSERT_GE(lines.size(), 8u);
    const std::regex shape(R"(^\d+\.\d{3}\t\d+\t[A-Za-z.0-9]+(\t.*)?$)");
    double previous = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, shape)) << line;
        TraceLine parsed = Split(line);
        EXPECT_GE(parsed.timeMs, previous);
        previous = parsed.timeMs;
        EXPECT_EQ(parsed.thread, 1);
    }
    EXPECT_EQ(Split(lines[0]).name, "CreateServerEngine");
    EXPECT_EQ(Split(lines[0]).args,
              (std::vector<std::string>{"2", "\"{F6BD878B-3176-4196-B08F-40F3DC5AB353}\""}));
    EXPECT_EQ(Split(lines[1]).name, "AttachHost");
    EXPECT_EQ(Split(lines[2]).args,
              (std::vector<std::string>{"\"say \\\"hi\\\"\\tthere\\x01\"\"1\""}));
    EXPECT_EQ(Split(lines[2]).name, "ExecuteCommand");
    EXPECT_EQ(Split(lines[3]).name, "sink.OnEngineMessage") << "say speaks through a message";
    EXPECT_EQ(Split(lines[4]).args, (std::vector<std::string>{"\"NumMaps\"", "0"}));
    EXPECT_EQ(Split(lines[5]).name, "InitServer");
    EXPECT_EQ(Split(lines[5]).args[0], "{zero=0 maxPlayers=12 launchText=\"\"}");
    EXPECT_EQ(Split(lines[6]).name, "StartServer");
    EXPECT_NE(Split(lines[6]).args[0].find("worldName=\"worlds/b\" maxPlayers=12"),
              std::string::npos);
    EXPECT_EQ(Split(lines[7]).name, "sink.OnConsoleOutput");
    EXPECT_EQ(Split(lines.back()).name, "ReleaseServerEngine");
    EXPECT_EQ(Split(lines[lines.size() - 2]).args, std::vector<std::string>{"NULL"});
    EXPECT_EQ(Overlaps(), 0);
}

TEST_F(TraceTest, TwoThreadsWithoutALockAreCaught) {
    CreateEngine();
    StartGame();
    std::atomic<bool> go{false};
    auto hammer = [&](const char* command) {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 2000; ++i) {
            engine->Tick(0);
            engine->ExecuteCommand(command);
        }
    };
    std::thread a(hammer, "status");
    std::thread b(hammer, "sim_bots 12");
    go = true;
    a.join();
    b.join();
    EXPECT_GT(Overlaps(), 0);
    std::set<int> threads;
    for (const std::string& line : Lines(tracePath)) {
        if (line != "OVERLAP") threads.insert(Split(line).thread);
    }
    EXPECT_EQ(threads, (std::set<int>{1, 2, 3}));
}

TEST_F(TraceTest, ThreadsTakingTurnsUnderALockAreNoOverlap) {
    CreateEngine();
    StartGame();
    std::mutex hostLock;
    auto worker = [&] {
        for (int i = 0; i < 500; ++i) {
            std::lock_guard lock(hostLock);
            engine->Tick(0);
        }
    };
    std::thread a(worker);
    for (int i = 0; i < 500; ++i) {
        std::lock_guard lock(hostLock);
        engine->ExecuteCommand("status");
    }
    a.join();
    EXPECT_EQ(Overlaps(), 0);
}

TEST_F(TraceTest, ACallBackIntoTheEngineFromTheSinkIsNoOverlap) {
    ReenteringSink reentering;
    ServerEngine* created = nullptr;
    ASSERT_EQ(CreateServerEngine(2, &kServerEngineGuid, &created), 0);
    engine = created;
    reentering.engine = engine;
    engine->AttachHost(&reentering);
    engine->ExecuteCommand("help");
    EXPECT_EQ(Overlaps(), 0);
    bool sawNested = false;
    for (const std::string& line : Lines(tracePath))
        sawNested |= Split(line).name == "FindVariable";
    EXPECT_TRUE(sawNested);
}

TEST_F(TraceTest, NoTraceFileMeansNoTrace) {
    ::unsetenv("TARNWICK_ENGINE_TRACE");
    CreateEngine();
    engine->Tick(0);
    EXPECT_FALSE(std::filesystem::exists(tracePath));
}
