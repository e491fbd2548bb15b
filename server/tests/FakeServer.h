// A server core over the recording fake engine, for the tests of what sits on the core (the
// settings sheet, the map dialogs, the window): started as the program starts one, the label
// library loaded from the current directory. The worker runs, so the fake is read under the lock.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "FakeEngine.h"
#include "ServerCore.h"

class FakeServer {
public:
    FakeServer() {
        FakeEngineModule::bound = &engine;
        FakeEngineModule::releases = 0;
    }

    bool Start(const std::function<bool()>& settingsSheet = {}) {
        return core.Start(settingsSheet) == EngineSession::StartupResult::Running;
    }
    template <typename F>
    auto Locked(F&& read) {
        std::lock_guard guard(core.SessionForTests().EngineLock());
        return read(engine);
    }
    // The console commands the engine got since the last call, in order.
    std::vector<std::string> TakeCommands() {
        return Locked([](FakeEngine& e) {
            std::vector<std::string> commands = e.Commands();
            e.ClearCalls();
            return commands;
        });
    }
    void SetText(const std::string& name, const std::string& text) {
        Locked([&](FakeEngine& e) { e.SetText(name, text); });
    }
    // What the operator's window asks, as a test of a dialog would set the scene.
    void Set(Setting setting, SettingValue value) {
        core.ChangeSetting({setting, std::move(value)}, Requester::Window());
    }

    FakeEngine engine;  // outlives the core, which releases it
    ServerCore core{{&FakeEngineModule::Create, &FakeEngineModule::Release}};
};
