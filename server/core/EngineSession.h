// The engine's life in this program: binding it, bringing the game server up, the worker thread
// that updates it every 33 ms, the user-interface thread's calls into it, and the teardown. It is
// also the engine's host sink, whose messages land in the mailbox. The thread rules it keeps are
// those of ServerCore.h.
#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EngineAccess.h"
#include "EngineMailbox.h"
#include "LabelLibrary.h"
#include "ServerEngine.h"
#include "StepRing.h"
#include "WorkerLiveness.h"
#include "WorkerPacing.h"

struct EngineModule {
    int32_t (*create)(int32_t version, const EngineInterfaceGuid* guid, ServerEngine** engine);
    void (*release)();
};

struct EngineVersion {
    int32_t major = 0, minor = 0, build = 0;
};

class ServerSettings;

class EngineSession final : public EngineAccess, private EngineHostSink {
public:
    enum class StartupResult {
        Running,    // the game server runs and the worker updates it
        NotBound,   // the engine could not be bound: the window closes
        Cancelled,  // the operator closed the start-up settings sheet without OK: the window closes
        Failed,     // a later step failed: torn down, the window stays open without a server
    };

    // What one status pass reads from the engine, in one locked section.
    struct Snapshot {
        bool rosterChanged = false;
        std::vector<std::string> consoleLines;
        std::vector<PlayerRecord> players;
        std::vector<float> pingSeconds;  // one for each player, in the same order
        float sendRate = 0.0f, receiveRate = 0.0f;
        bool bound = false;  // an engine answered the pings and the traffic
    };
    // How long the teardown waits for a worker inside Tick before it gives the engine up.
    static constexpr std::chrono::milliseconds kReleaseWait{3000};
    // How long a call from the user-interface thread waits for the lock before it gives up, so
    // that a hung engine cannot hold that thread for good.
    static constexpr std::chrono::milliseconds kCallerWait{2500};

    // onCloseServer runs where the engine's close message arrives, possibly on the worker thread.
    EngineSession(EngineModule module, std::function<void()> onCloseServer,
                  QString labelLibraryPath = QString::fromLatin1(LabelLibrary::kDefaultPath));
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // The start-up sequence; runs once. The settings are loaded into `settings`; settingsSheet,
    // when given, is shown after that and answers whether the operator chose OK.
    StartupResult Start(ServerSettings& settings, const std::function<bool()>& settingsSheet = {});
    // After a NotBound or Failed start-up: which step failed and why, in a sentence for the
    // operator; empty otherwise.
    const std::string& FailureReason() const { return failureReason_; }
    // The start-up's write of the configuration file failed (the engine answered 0).
    bool ConfigWriteFailed() const { return configWriteFailed_; }
    // Stops and joins the worker before the engine is released; any number of runs. A worker
    // that does not come out of Tick within kReleaseWait is left behind with the engine, which
    // is then never released (ReleaseFailed()): the program can only end.
    void ShutdownEngine();
    bool ReleaseFailed() const { return releaseFailed_; }
    // The first step of every status pass: a teardown the worker asked for by seeing Tick stop.
    void RunPendingTeardown();

    bool IsBound() const override { return engine_.load() != nullptr; }
    // The engine asked to close: from here on no call reaches it but the teardown's.
    void RefuseCalls() { callsRefused_ = true; }
    bool RefusesCalls() const { return callsRefused_; }
    bool IsWorkerRunning() const { return workerRunning_.load(); }
    // Tick answered 0 (or a teardown is under way): the worker steps no more.
    bool IsStopping() const { return stopping_.load(); }
    const EngineVersion& BoundVersion() const { return version_; }
    float UpdateRate() const { return updateRate_.load(std::memory_order_relaxed); }
    // Engine steps taken so far; a watchdog tells from it that the worker moves.
    uint64_t StepCount() const { return steps_.load(std::memory_order_relaxed); }
    std::timed_mutex& EngineLock() { return engineLock_; }
    // Any thread, without the lock.
    const WorkerLiveness& Liveness() const { return liveness_; }
    // The worker's step records, drained by the core's health pass on the user-interface thread.
    StepRing& StepRecords() { return stepRecords_; }

    // Runs `call` on the bound engine under engineLock; false when no engine is bound, calls are
    // refused, or the lock did not come within kCallerWait (an engine that hangs).
    bool WithEngine(const std::function<void(ServerEngine&)>& call) override;

    // Runs `call` on the bound engine, like WithEngine. When a step holds the lock longer than
    // `wait`, the call is left to the worker instead, which makes it as soon as that step ends,
    // before any later call: the user-interface thread never waits out a slow Tick for a typed
    // command or a paced save. The answers of calls left so come back, in order, from
    // TakeDeferredAnswers().
    using EngineCall = std::function<int32_t(ServerEngine&)>;
    enum class CallRun { Ran, Deferred, NotRun };
    CallRun RunOrDefer(EngineCall call, std::chrono::milliseconds wait, int32_t& answer);
    std::vector<int32_t> TakeDeferredAnswers();
    // At most this many calls wait for a slow step; more are not made.
    static constexpr std::size_t kMaxDeferred = 64;

    // Copies what the engine reported since the last snapshot and asks for the pings and the
    // traffic, all in one locked section. Nothing when the lock does not come within `wait` (a
    // Tick that takes long): the pass is then skipped rather than the user-interface thread held.
    // `alsoRead`, when given, runs in the same section (on a bound engine).
    std::optional<Snapshot> TakeSnapshot(
        std::chrono::milliseconds wait,
        const std::function<void(ServerEngine&)>& alsoRead = {});
    std::string LoadLabelText(uint32_t id) const { return labels_.LoadLabelText(id); }

private:
    StartupResult Fail(std::string reason);
    bool BindEngine();
    bool RegisterEngineResources();
    bool LoadResourceLibrary() { return labels_.Load(); }
    bool SelectNetworkDriver();
    bool LaunchServer(const std::string& world, int32_t maxPlayers);
    bool StartWorker();
    void WorkerLoop();
    void EngineStep();  // under engineLock
    void RunDeferred(ServerEngine& engine);  // under engineLock

    int32_t OnEngineMessage(const char* message) override {
        return mailbox_.OnEngineMessage(message);
    }
    int32_t OnConsoleOutput(const char* text) override { return mailbox_.OnConsoleOutput(text); }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }

    const EngineModule module_;
    // The user-interface thread's way into engineLock: it says it waits, and the worker lets it
    // in before its next step, so a slow engine cannot starve it.
    class CallerLock;
    std::atomic<int> callersWaiting_{0};

    std::timed_mutex engineLock_;
    std::atomic<ServerEngine*> engine_{nullptr};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> workerRunning_{false};
    std::atomic<float> updateRate_{0.0f};
    std::atomic<uint64_t> steps_{0};
    bool startupPending_ = true;
    bool callsRefused_ = false;  // user-interface thread only
    std::thread worker_;
    std::future<void> workerDone_;
    WorkerLiveness liveness_;
    bool releaseFailed_ = false;
    UpdateRateMeter rateMeter_;  // worker thread only
    StepRing stepRecords_;
    StepMeter stepMeter_{stepRecords_};  // worker thread only
    EngineVersion version_;
    LabelLibrary labels_;
    EngineMailbox mailbox_;
    std::mutex deferredMutex_;  // guards the two below; taken under engineLock, never around it
    std::deque<EngineCall> deferred_;
    std::vector<int32_t> deferredAnswers_;
    std::string launchText_;
    std::string failureReason_;
    bool configWriteFailed_ = false;
};
