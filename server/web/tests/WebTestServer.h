// The running server that the web admin's tests talk to: the core over the real engine module in
// the demo install directory, started once per test program, with a fake clock for sessions and
// the lockout, and helpers that wait for the network while the Qt event loop keeps turning.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "AuditLog.h"
#include "ServerCore.h"
#include "WebAdmin.h"
#include "WebTestClient.h"

inline constexpr const char* kTestPassword = "letmein7";

// One engine for the whole program: the module and the settings store are process-wide.
class WebTestServer : public ::testing::Environment {
public:
    static ServerCore& Core() { return *core_; }
    static const std::string& TracePath() { return trace_; }

    void SetUp() override {
        // A copy of the demo install directory: the configuration file keeps what the tests
        // change (the password, the rotation), and the demo itself must not.
        home_ = std::filesystem::current_path();
        install_ =
            std::filesystem::path(testing::TempDir()) / ("web_install_" + std::to_string(getpid()));
        std::filesystem::remove_all(install_);
        std::filesystem::copy(home_, install_, std::filesystem::copy_options::recursive);
        std::filesystem::current_path(install_);
        trace_ = testing::TempDir() + "web_engine_trace_" + std::to_string(getpid()) + ".txt";
        std::remove(trace_.c_str());
        setenv("TARNWICK_ENGINE_TRACE", trace_.c_str(), 1);
        setenv("TARNWICK_SIM_SEED", "5", 1);
        setenv("TARNWICK_SIM_BOTS", "6", 1);
        unsetenv("TARNWICK_SIM_FAIL");
        unsetenv("TARNWICK_SIM_CLOSE_AFTER_TICKS");
        core_ =
            std::make_unique<ServerCore>(EngineModule{&CreateServerEngine, &ReleaseServerEngine});
        ASSERT_EQ(core_->Start(), EngineSession::StartupResult::Running);
        core_->ChangeSetting({Setting::RemoteAdminPassword, std::string(kTestPassword)},
                             Requester::Window());
        core_->SetRotation({"worlds/base.dat", "worlds/dunes.dat", "worlds/harbour.dat"},
                           Requester::Window());
    }
    void TearDown() override {
        core_->Shutdown();
        core_.reset();
        unsetenv("TARNWICK_ENGINE_TRACE");
        std::filesystem::current_path(home_);
        std::filesystem::remove_all(install_);
    }

private:
    std::filesystem::path home_, install_;
    static inline std::unique_ptr<ServerCore> core_;
    static inline std::string trace_;
};

// Runs `work` on a thread of its own while this thread turns the event loop, as the server needs.
template <typename F>
auto Await(F work) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return result.get();
}

template <typename Predicate>
bool WaitUntil(Predicate done, int timeoutMs = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline int CountTraceLines(const std::string& prefix) {
    std::ifstream lines(WebTestServer::TracePath());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const std::size_t name = line.find('\t', line.find('\t') + 1);
        if (name != std::string::npos && line.compare(name + 1, prefix.size(), prefix) == 0)
            ++count;
    }
    return count;
}
