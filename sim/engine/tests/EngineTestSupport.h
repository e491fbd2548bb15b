#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "ServerEngine.h"

struct RecordingSink final : EngineHostSink {
    int32_t OnEngineMessage(const char* message) override {
        if (message[0] == '\x06') console.emplace_back(message + 1);  // console text as a message
        messages.emplace_back(message);
        return 0;
    }
    int32_t OnConsoleOutput(const char* text) override {
        console.emplace_back(text);
        return 0;
    }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }
    bool Said(const std::string& part) const {
        return std::ranges::any_of(console, [&](auto& t) { return t.find(part) != t.npos; });
    }
    void Clear() {
        messages.clear();
        console.clear();
    }
    std::vector<std::string> messages, console;
};

struct TempDirectory {
    TempDirectory() {
        std::string pattern = std::filesystem::temp_directory_path() / "engine-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        TearDown();
        SetControl("TARNWICK_SIM_SEED", "42");
    }
    void TearDown() override {  // the controls are read from the environment
        ReleaseEngine();
        for (const char* name : {"TARNWICK_SIM_SEED", "TARNWICK_SIM_BOTS", "TARNWICK_SIM_FAIL",
                                 "TARNWICK_SIM_CLOSE_AFTER_TICKS", "TARNWICK_ENGINE_TRACE"})
            ::unsetenv(name);
    }
    static void SetControl(const char* name, const std::string& v) { ::setenv(name, v.c_str(), 1); }
    void CreateEngine() {
        engine = reinterpret_cast<ServerEngine*>(1);  // the module must clear it
        ASSERT_EQ(CreateServerEngine(2, &kServerEngineGuid, &engine), 0);
        ASSERT_EQ(engine->AttachHost(&sink), 0);
    }
    void ReleaseEngine() {
        if (auto* e = std::exchange(engine, nullptr)) {
            e->AttachHost(nullptr);
            ReleaseServerEngine();
        }
    }
    void StartGame(const char* world = "worlds/antarctica", int32_t maxPlayers = 16) {
        ServerInitInfo init{};
        ServerLaunchInfo launch{};
        GameDescription game{};
        init.maxPlayers = launch.maxPlayers = maxPlayers;
        ASSERT_NE(engine->InitServer(&init), 0);
        launch.gameDescription = &game;
        launch.gameDescriptionSize = sizeof game;
        for (char* name : {launch.worldName, game.worldName, game.worldNameAgain})
            std::strncpy(name, world, sizeof game.worldName - 1);
        ASSERT_NE(engine->StartServer(&launch), 0);
    }
    uint32_t Handle(const char* name, uint32_t h = 0) {
        engine->FindVariable(name, &h, 0);
        return h;
    }
    std::string ReadText(const char* name) {
        std::string buffer(256, '\x7f');
        engine->ReadVariableText(Handle(name), buffer.data(), 256);
        return buffer.substr(0, buffer.find('\0'));
    }
    float ReadNumber(const char* name) {
        float value = -12345.0f;
        engine->ReadVariableNumber(Handle(name), &value);
        return value;
    }

    ServerEngine* engine = nullptr;
    RecordingSink sink;
};
