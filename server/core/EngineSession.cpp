#include "EngineSession.h"

#include <QDir>
#include <chrono>
#include <cstring>
#include <system_error>

#include "ByteText.h"
#include "MillisecondClock.h"
#include "ServerSettings.h"

namespace {
constexpr const char* kPreferredDriver = "Internet TCP/IP";

// Copies at most capacity - 1 bytes and always terminates.
void CopyText(char* destination, std::size_t capacity, const char* source) {
    const std::size_t length = strnlen(source, capacity - 1);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

// Short tries rather than try_lock_for: that one waits in pthread_mutex_clocklock, which the
// thread sanitizer of our toolchain does not see, so every later unlock reads as a fault. The
// worker, told that a caller waits, lets the lock go within a step.
bool TryLockFor(std::timed_mutex& mutex, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
}  // namespace

// Takes engineLock for the user-interface thread, waiting at most `wait`; while it waits, the
// worker stays out. OwnsLock() says whether it came.
class EngineSession::CallerLock {
public:
    CallerLock(EngineSession& session, std::chrono::milliseconds wait) : session_(session) {
        Announce();
        locked_ = TryLockFor(session_.engineLock_, wait);
        Withdraw();
    }
    ~CallerLock() {
        if (locked_) session_.engineLock_.unlock();
    }
    CallerLock(const CallerLock&) = delete;
    CallerLock& operator=(const CallerLock&) = delete;
    bool OwnsLock() const { return locked_; }

private:
    void Announce() { session_.callersWaiting_.fetch_add(1, std::memory_order_acq_rel); }
    void Withdraw() { session_.callersWaiting_.fetch_sub(1, std::memory_order_acq_rel); }
    EngineSession& session_;
    bool locked_ = false;
};

EngineSession::EngineSession(EngineModule module, std::function<void()> onCloseServer,
                             QString labelLibraryPath)
    : module_(module),
      rateMeter_(ProgramClockBase()),
      labels_(std::move(labelLibraryPath)),
      mailbox_(std::move(onCloseServer)) {}

EngineSession::~EngineSession() {
    ShutdownEngine();
    // A worker left inside a hung Tick still uses this object when it comes out (in tests, whose
    // engine lets it go; the program ends before it gets here).
    if (releaseFailed_ && workerDone_.valid()) workerDone_.wait();
}

EngineSession::StartupResult EngineSession::Start(ServerSettings& settings,
                                                  const std::function<bool()>& settingsSheet) {
    if (!startupPending_) return IsBound() ? StartupResult::Running : StartupResult::Failed;
    startupPending_ = false;

    failureReason_.clear();
    if (!BindEngine()) return StartupResult::NotBound;
    if (const int32_t answer = engine_.load()->AttachHost(this); answer != 0)
        return Fail("the engine refused the host (AttachHost answered " + std::to_string(answer) +
                    ")");
    if (!RegisterEngineResources())
        return Fail(
            "the engine could not register its resources \"tarnwick\" and "
            "\"tarnwick.rez\" in " +
            QDir::currentPath().toStdString() + " (is that the install directory?)");
    if (!LoadResourceLibrary())
        return Fail("the label library could not be loaded: " + labels_.ErrorText().toStdString());

    settings.Load();
    const bool accepted = !settingsSheet || settingsSheet();
    // The configuration file is written at every start, also on a cancel; a file that cannot be
    // written does not stop the server, it only loses this run's settings.
    configWriteFailed_ = settings.Save() == 0;
    if (!accepted) return StartupResult::Cancelled;

    if (!SelectNetworkDriver())
        return Fail("the engine's network drivers could not be listed or handed back");
    launchText_.clear();
    // A rotation without entry 0 launches on an empty world name; the engine decides what that is.
    const std::string world =
        byte_text::LowercaseAscii(settings.GetRotationMap(0).value_or(std::string()));
    if (!LaunchServer(world, settings.Values().maxplayers))
        return Fail("the engine could not initialise the game server");
    if (!StartWorker()) return Fail("the worker thread could not be started");

    static constexpr char kHostMessage[32] = {1, '\n'};
    WithEngine([](ServerEngine& e) { e.SendHostMessage(kHostMessage); });
    return StartupResult::Running;
}

EngineSession::StartupResult EngineSession::Fail(std::string reason) {
    failureReason_ = std::move(reason);
    ShutdownEngine();  // a second run after StartWorker's own does nothing
    return StartupResult::Failed;
}

bool EngineSession::BindEngine() {
    ServerEngine* engine = nullptr;
    const int32_t answer =
        module_.create(kServerEngineInterfaceVersion, &kServerEngineGuid, &engine);
    if (answer != 0 || !engine) {
        failureReason_ = "the server engine could not be bound (CreateServerEngine answered " +
                         std::to_string(answer) + ")";
        return false;
    }
    engine_ = engine;
    engine->GetEngineVersion(&version_.major, &version_.minor, &version_.build);
    return true;
}

bool EngineSession::RegisterEngineResources() {
    const char* const names[] = {"tarnwick", "tarnwick.rez"};
    return engine_.load()->RegisterResources(names, 2) != 0;
}

bool EngineSession::SelectNetworkDriver() {
    ServerEngine* engine = engine_.load();
    engine->StartNetwork(0, 0);
    NetworkDriverRecord* first = nullptr;
    if (engine->ListNetworkDrivers(&first) == 0) return false;
    for (NetworkDriverRecord* d = first; d; d = d->next) {
        if (strncmp(d->name, kPreferredDriver, sizeof d->name) == 0) {
            engine->ChooseNetworkDriver(d->driverId);
            break;
        }
    }
    return engine->ReleaseNetworkDriverList(first) == 1;
}

bool EngineSession::LaunchServer(const std::string& world, int32_t maxPlayers) {
    ServerLaunchInfo launch;
    std::memset(&launch, 0, sizeof launch);
    CopyText(launch.worldName, sizeof launch.worldName, world.c_str());
    launch.maxPlayers = maxPlayers;

    ServerInitInfo init;
    std::memset(&init, 0, sizeof init);
    init.maxPlayers = maxPlayers;
    CopyText(init.launchText, sizeof init.launchText, launchText_.c_str());

    GameDescription game;
    std::memset(&game, 0, sizeof game);
    CopyText(game.worldName, sizeof game.worldName, launch.worldName);
    CopyText(game.worldNameAgain, sizeof game.worldNameAgain, launch.worldName);
    launch.gameDescription = &game;
    launch.gameDescriptionSize = sizeof game;

    ServerEngine* engine = engine_.load();
    if (engine->InitServer(&init) == 0) return false;
    engine->StartServer(&launch);
    return true;
}

bool EngineSession::StartWorker() {
    // The worker tests this flag at once, so it is published before the thread starts.
    workerRunning_ = true;
    liveness_.Started(WorkerLiveness::NowMs());
    std::promise<void> done;
    workerDone_ = done.get_future();
    try {
        worker_ = std::thread([this, done = std::move(done)]() mutable {
            WorkerLoop();
            done.set_value();
        });
    } catch (const std::system_error&) {
        workerRunning_ = false;
        liveness_.Stopped();
        ShutdownEngine();
        return false;
    }
    return true;
}

void EngineSession::WorkerLoop() {
    uint32_t start = MillisecondClock();
    while (engine_.load() && workerRunning_.load()) {
        stepMeter_.AskLock();
        // A caller on the user-interface thread goes first: after a step that overran, the
        // worker would otherwise take the lock again at once, for as long as the engine is slow.
        while (callersWaiting_.load(std::memory_order_acquire) > 0 && workerRunning_.load())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        {
            std::lock_guard guard(engineLock_);
            stepMeter_.LockTaken();
            EngineStep();
            if (ServerEngine* engine = engine_.load(); engine && !stopping_.load())
                RunDeferred(*engine);
        }
        const uint32_t done = MillisecondClock();
        const uint32_t pause = PauseAfterStep(start, done);
        stepMeter_.Finish(pause == 0);
        if (pause != 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        start = NextPeriodStart(done, pause, MillisecondClock());
    }
}

void EngineSession::EngineStep() {
    ServerEngine* engine = engine_.load();
    if (!engine || stopping_.load() || !workerRunning_.load()) return;
    const uint32_t now = MillisecondClock();
    updateRate_.store(rateMeter_.RecordStep(now, MillisecondClock()), std::memory_order_relaxed);
    stepMeter_.TickStarts();
    liveness_.TickStarts(WorkerLiveness::NowMs());
    const int32_t answer = engine->Tick(0);
    liveness_.TickEnds(WorkerLiveness::NowMs());
    stepMeter_.TickEnds();
    if (answer == 0) stopping_ = true;
    steps_.fetch_add(1, std::memory_order_relaxed);
}

void EngineSession::ShutdownEngine() {
    if (releaseFailed_) return;  // the engine and its lock stay with the worker that hangs
    stopping_ = true;
    // The worker may be inside the engine: it is stopped and joined before the engine goes.
    workerRunning_ = false;
    if (worker_.joinable()) {
        if (workerDone_.valid() &&
            workerDone_.wait_for(kReleaseWait) != std::future_status::ready) {
            // Inside a Tick that does not return: releasing the engine under it would crash, and
            // its lock is held for good. Nothing may call the engine again.
            worker_.detach();
            releaseFailed_ = true;
            callsRefused_ = true;
            engine_ = nullptr;
            updateRate_.store(0.0f, std::memory_order_relaxed);
            return;
        }
        worker_.join();
    }
    liveness_.Stopped();
    updateRate_.store(0.0f, std::memory_order_relaxed);  // a stopped server updates nothing
    labels_.Unload();
    // Unbound under the lock before it is released, so no caller can take a released engine for
    // a bound one.
    ServerEngine* engine = nullptr;
    {
        std::lock_guard guard(engineLock_);
        engine = engine_.exchange(nullptr);
    }
    if (engine) {
        engine->AttachHost(nullptr);
        module_.release();
    }
    {
        std::lock_guard guard(engineLock_);
        mailbox_.Clear();
        std::lock_guard deferred(deferredMutex_);
        deferred_.clear();  // never made: the engine they were for is gone
    }
    stopping_ = false;
}

void EngineSession::RunPendingTeardown() {
    if (stopping_.load()) ShutdownEngine();
}

bool EngineSession::WithEngine(const std::function<void(ServerEngine&)>& call) {
    if (callsRefused_ || liveness_.TickHung(WorkerLiveness::NowMs())) return false;
    CallerLock guard(*this, kCallerWait);
    if (!guard.OwnsLock()) return false;
    ServerEngine* engine = engine_.load();
    if (!engine) return false;
    RunDeferred(*engine);
    call(*engine);
    return true;
}

EngineSession::CallRun EngineSession::RunOrDefer(EngineCall call, std::chrono::milliseconds wait,
                                                 int32_t& answer) {
    if (callsRefused_ || liveness_.TickHung(WorkerLiveness::NowMs())) return CallRun::NotRun;
    {
        CallerLock guard(*this, wait);
        if (guard.OwnsLock()) {
            ServerEngine* engine = engine_.load();
            if (!engine) return CallRun::NotRun;
            RunDeferred(*engine);
            answer = call(*engine);
            return CallRun::Ran;
        }
    }
    // Only a stepping worker comes back for it; without one, wait as any caller does.
    if (!workerRunning_.load() || stopping_.load())
        return WithEngine([&](ServerEngine& e) { answer = call(e); }) ? CallRun::Ran
                                                                      : CallRun::NotRun;
    std::lock_guard guard(deferredMutex_);
    if (deferred_.size() >= kMaxDeferred) return CallRun::NotRun;
    deferred_.push_back(std::move(call));
    return CallRun::Deferred;
}

std::vector<int32_t> EngineSession::TakeDeferredAnswers() {
    std::lock_guard guard(deferredMutex_);
    return std::exchange(deferredAnswers_, {});
}

void EngineSession::RunDeferred(ServerEngine& engine) {
    std::lock_guard guard(deferredMutex_);
    while (!deferred_.empty()) {
        deferredAnswers_.push_back(deferred_.front()(engine));
        deferred_.pop_front();
    }
}

std::optional<EngineSession::Snapshot> EngineSession::TakeSnapshot(
    std::chrono::milliseconds wait, const std::function<void(ServerEngine&)>& alsoRead) {
    if (releaseFailed_) return std::nullopt;
    CallerLock guard(*this, wait);
    if (!guard.OwnsLock()) return std::nullopt;
    Snapshot snapshot;
    snapshot.rosterChanged = mailbox_.TakeRosterChanged();
    mailbox_.TakePendingConsoleLines(snapshot.consoleLines);
    mailbox_.CopyRoster(snapshot.players);
    snapshot.pingSeconds.assign(snapshot.players.size(), 0.0f);
    ServerEngine* engine = callsRefused_ ? nullptr : engine_.load();
    if (engine) {
        snapshot.bound = true;
        for (std::size_t i = 0; i < snapshot.players.size(); ++i)
            engine->GetClientPing(snapshot.players[i].clientId, &snapshot.pingSeconds[i]);
        engine->GetTraffic(&snapshot.sendRate, &snapshot.receiveRate);
        RunDeferred(*engine);
        if (alsoRead) alsoRead(*engine);
    }
    return snapshot;
}
