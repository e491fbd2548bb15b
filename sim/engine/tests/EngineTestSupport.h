// A recording sink, the host's decoding of player messages, a scratch directory, the fixture.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ServerEngine.h"

class RecordingSink final : public EngineHostSink {
public:
    int32_t OnEngineMessage(const char* message) override {
        if (message[0] == '\x06') console.emplace_back(message + 1);  // console text as a message
        return messages.emplace_back(message), 0;
    }
    int32_t OnConsoleOutput(const char* text) override { return console.emplace_back(text), 0; }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }
    bool Said(const std::string& part) const {
        return std::ranges::any_of(console, [&](auto& t) { return t.find(part) != t.npos; });
    }
    void Clear() { messages.clear(), console.clear(); }
    std::vector<std::string> messages, console;
};

struct RosterEntry {
    std::string name;
    uint32_t team = 0;
    int32_t specialty = 0;
};
struct MessageRoster {
    std::map<int32_t, RosterEntry> players;
    int closeMessages = 0;

    // The host's integer field: blanks skipped, sign, digits in base 10, 16 or 8.
    static bool ReadInteger(std::string_view& body, long long& value) {
        const size_t start = std::min(body.find_first_not_of(" \t\n\v\f\r"), body.size());
        const std::string digits(body.substr(start, 15));
        char* end = nullptr;
        value = std::strtoll(digits.c_str(), &end, 0);
        body.remove_prefix(start + static_cast<size_t>(end - digits.c_str()));
        return end != digits.c_str();
    }
    // False when a message breaks the format the host expects.
    bool Apply(const std::string& message) {
        std::string_view body(message);
        const char type = body.empty() ? 0 : body.front();
        body.remove_prefix(type ? 1 : 0);
        long long id = 0, team = 0, specialty = 0;
        if (type == '\x06') return body.find('\n') == std::string_view::npos;
        if (type == '\x07') return ++closeMessages, body.empty();
        if (type != '\x03') {
            if (!ReadInteger(body, id) || (type != '\x01' && type != '\x02')) return false;
            if (type == '\x01') players[static_cast<int32_t>(id)] = RosterEntry{"NEWPLAYER"};
            if (type == '\x02') players.erase(static_cast<int32_t>(id));
            return body.empty();
        }
        while (ReadInteger(body, id)) {  // records of id, name line, team and specialty
            if (id == -1) return body.empty();
            auto it = players.find(static_cast<int32_t>(id));
            if (it == players.end() || body.empty()) return false;
            body.remove_prefix(1);
            const size_t end = body.substr(0, 30).find('\n');
            it->second.name = std::string(body.substr(0, std::min<size_t>(end, 30)));
            body.remove_prefix(end == std::string_view::npos ? std::min<size_t>(30, body.size())
                                                             : end + 1);
            if (!ReadInteger(body, team) || !ReadInteger(body, specialty)) return false;
            it->second.team = static_cast<uint32_t>(team);
            it->second.specialty = static_cast<int32_t>(specialty);
        }
        return false;
    }
};

struct TempDirectory {
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "engine-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored),
            std::filesystem::remove_all(path, ignored);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    void Enter() { std::filesystem::current_path(path); }  // left again on destruction
    std::filesystem::path path, previous = std::filesystem::current_path();
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr const char* kControls[] = {
        "TARNWICK_SIM_SEED", "TARNWICK_SIM_BOTS", "TARNWICK_SIM_FAIL",
        "TARNWICK_SIM_CLOSE_AFTER_TICKS", "TARNWICK_ENGINE_TRACE"};
    void SetUp() override { TearDown(), SetControl("TARNWICK_SIM_SEED", "42"); }
    void TearDown() override {
        ReleaseEngine();
        for (const char* name : kControls) ::unsetenv(name);
    }
    static void SetControl(const char* name, const std::string& v) { ::setenv(name, v.c_str(), 1); }
    void CreateEngine() {
        engine = reinterpret_cast<ServerEngine*>(1);  // the module must clear it
        ASSERT_EQ(CreateServerEngine(2, &kServerEngineGuid, &engine), 0);
        ASSERT_NE(engine, nullptr);
        ASSERT_EQ(engine->AttachHost(&sink), 0);
    }
    void ReleaseEngine() {
        if (engine != nullptr) engine->AttachHost(nullptr), ReleaseServerEngine();
        engine = nullptr;
    }
    // InitServer and StartServer as the host fills them.
    void StartGame(const char* world = "worlds/antarctica", int32_t maxPlayers = 16) {
        ServerInitInfo init{};
        init.maxPlayers = maxPlayers;
        ASSERT_NE(engine->InitServer(&init), 0);
        ServerLaunchInfo launch{};
        GameDescription game{};
        launch.maxPlayers = maxPlayers;
        launch.gameDescription = &game;
        launch.gameDescriptionSize = sizeof game;
        std::strncpy(launch.worldName, world, sizeof launch.worldName - 1);
        std::strncpy(game.worldName, world, sizeof game.worldName - 1);
        std::strncpy(game.worldNameAgain, world, sizeof game.worldNameAgain - 1);
        ASSERT_NE(engine->StartServer(&launch), 0);
    }
    uint32_t Handle(const char* name) {
        uint32_t h = 0;
        return engine->FindVariable(name, &h, 0), h;
    }
    std::string ReadText(const char* name) {
        std::string buffer(256, '\x7f');
        engine->ReadVariableText(Handle(name), buffer.data(), 256);
        return buffer.substr(0, buffer.find('\0'));
    }
    float ReadNumber(const char* name) {
        float value = -12345.0f;
        return engine->ReadVariableNumber(Handle(name), &value), value;
    }
    // Every message so far applied to a host-style roster; fails the test on a malformed one.
    MessageRoster Roster() {
        MessageRoster roster;
        for (const std::string& message : sink.messages)
            EXPECT_TRUE(roster.Apply(message)) << "malformed: " << message;
        return roster;
    }

    ServerEngine* engine = nullptr;
    RecordingSink sink;
};
