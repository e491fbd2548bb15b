// Shared pieces of the engine tests: a sink that records what the engine says, a fixture that
// sets the environment controls and creates the engine through the module's exports, and a
// scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ServerEngine.h"

class RecordingSink final : public EngineHostSink {
public:
    int32_t OnEngineMessage(const char* message) override {
        messages.emplace_back(message);
        return 0;
    }
    int32_t OnConsoleOutput(const char* text) override {
        console.emplace_back(text);
        return 0;
    }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }

    // Console text from both routes, without line breaks.
    std::vector<std::string> ConsoleLines() const;
    bool SaidSomethingContaining(const std::string& part) const;
    void Clear() {
        messages.clear();
        console.clear();
    }

    std::vector<std::string> messages;
    std::vector<std::string> console;
};

// The host's view of the players, built from the messages as the host decodes them.
struct RosterEntry {
    std::string name;
    uint32_t team = 1073;
    int32_t specialty = 0;
};
class MessageRoster {
public:
    // False when a message breaks the format the host expects.
    bool Apply(const std::string& message);
    std::map<int32_t, RosterEntry> players;
    int closeMessages = 0;
};

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    const std::filesystem::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

// Runs the test inside a directory of its own.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& directory);
    ~ScopedWorkingDirectory();

private:
    std::filesystem::path previous;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets a control for the next CreateEngine.
    static void SetControl(const char* name, const std::string& value) {
        ::setenv(name, value.c_str(), 1);
    }
    ServerEngine* CreateEngine(bool attach = true);
    void ReleaseEngine();
    // InitServer and StartServer as the host fills them.
    void StartGame(const char* world = "worlds/antarctica", int32_t maxPlayers = 16);
    // Ticks until the predicate holds or the limit runs out; answers whether it held.
    template <class Predicate>
    bool TickUntil(Predicate done, int limit = 5000) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            engine->Tick(0);
        }
        return done();
    }
    std::string ReadText(const char* name, int32_t capacity = 256);
    float ReadNumber(const char* name);

    ServerEngine* engine = nullptr;
    RecordingSink sink;
};
