// The running server without widgets, under every front end (the window, the headless service,
// the web admin). It owns the engine session, runs the 100 ms status pass, takes the operators'
// actions and publishes what the engine reports as Qt signals.
//
// Threads, for the whole server:
// - The worker thread (inside EngineSession) calls only into the engine, and only while holding
//   engineLock; it touches nothing else but its own timing state.
// - Everything else runs on the user-interface thread (the thread of the Qt event loop): this
//   class, every front end, the settings store. Each call into the engine takes engineLock for
//   that one call, never twice and never across a modal dialog or a network wait.
// - The engine calls the host sink only from inside those locked calls, so what the sink writes
//   (the mailbox: roster, console queue) is only touched under the lock. The status pass copies
//   it out in short locked sections and does everything else on the copies.
// - The engine's close message may arrive on the worker; it reaches this class as a queued call.
// - Front ends get every signal on the user-interface thread. A network thread of a front end
//   never calls this class directly: it queues a call to the user-interface thread.
// The engine lock lives as long as the session, so it stays usable after a teardown.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ConsoleHistory.h"
#include "EngineSession.h"
#include "HealthSample.h"
#include "ServerMetrics.h"

// Who asked for an action, so that the console and the audit can say so.
struct Requester {
    enum class Kind { Window, Terminal, Web };
    Kind kind = Kind::Window;
    std::string address;  // a web client's address
    std::string detail;   // a web session's short tag

    static Requester Window() { return {Kind::Window, {}, {}}; }
    static Requester Terminal() { return {Kind::Terminal, {}, {}}; }
    std::string Describe() const;  // "window", "terminal", "web 192.0.2.7 (a1b2c3)"
};

enum class ActionResult {
    Done,
    NoServer,       // no engine runs (never started, failed, stopped, or closing)
    Empty,          // nothing to send
    UnsafeText,     // a line break or NUL would split or cut the command
    UnknownClient,  // no such player on the server
    OutOfRange,     // no such rotation entry
    Refused,        // the engine refused it (a world whose file is gone); its console says why
};
const char* Describe(ActionResult result);

enum class ServerState { Starting, Running, Stopped };
const char* Describe(ServerState state);

struct ServerStatus {
    ServerState state = ServerState::Starting;
    std::string world;  // the world the server runs, as the rotation names it
    int players = 0;
    int maxPlayers = 0;
    float updateRate = 0.0f;                    // 0 once the worker no longer steps the engine
    float sendRate = 0.0f, receiveRate = 0.0f;  // bytes per second
    EngineVersion version;
    int64_t startedAtMs = 0;  // when the server began running; 0 when it never did
};

class ServerCore : public QObject {
    Q_OBJECT

public:
    static constexpr int kStatusPeriodMs = 100;
    static constexpr int kHealthPeriodMs = 1000;
    static constexpr std::size_t kCommandLength = 119;  // what the console entry takes

    enum class StopReason {
        StartupFailed,  // a start-up step failed after the binding
        EngineStopped,  // Tick answered 0: the engine stopped by itself
        ShutDown,       // the front end ended the run
    };
    Q_ENUM(StopReason)

    explicit ServerCore(EngineModule module, QObject* parent = nullptr);
    ~ServerCore() override;

    // The start-up sequence, once. settingsSheet, when given, is shown after the settings are
    // loaded and answers whether the operator chose OK. A failure is said on the console.
    EngineSession::StartupResult Start(const std::function<bool()>& settingsSheet = {});
    // The teardown: worker joined, engine released. Any number of runs.
    void Shutdown();

    // Operator actions. Each answers what became of it and is published with who asked.
    ActionResult SubmitConsoleCommand(std::string_view command, const Requester& who);
    ActionResult Kick(int32_t clientId, const Requester& who);
    ActionResult ChangeMap(int rotationIndex, const Requester& who);

    // What the last status pass saw.
    ServerStatus Status() const;
    const std::vector<PlayerRecord>& Players() const { return players_; }
    float PingSeconds(int32_t clientId) const;  // 0 for a client the pass did not see
    std::string LabelText(uint32_t labelId) const { return session_.LoadLabelText(labelId); }
    const ConsoleHistory& Console() const { return console_; }
    // The rotation as the settings hold it: position and world name, missing entries left out.
    std::vector<std::pair<int, std::string>> Rotation() const;
    // Why the start-up failed, or empty.
    const std::string& FailureReason() const { return session_.FailureReason(); }
    // Sixteen hex digits, new at every successful start: console sequence numbers start over
    // with each run. Empty before the first.
    const std::string& RunId() const { return runId_; }

    EngineSession& Session() { return session_; }

    // The health samples of the last ten minutes, oldest first.
    std::vector<HealthSample> Health() const { return health_.Samples(); }
    // The counters for an outside monitor; the web admin adds its logins.
    MetricsSnapshot Metrics() const;

    // A front end's own line on the console (the web admin's audit), with the engine's lines.
    void Announce(std::string text) { Say(std::move(text)); }

    // One status pass; the timer runs it every 100 ms while a server runs.
    void StatusPass();
    // One health sample from the worker's steps since the last; the timer runs it every second
    // while a server runs.
    void HealthPass();

signals:
    void serverStarted();
    void serverStopped(ServerCore::StopReason reason);
    // The engine asked the host to close; actions are refused from here on.
    void closeRequested();
    // Every pass: the roster copy in the roster's order, and whether it changed since the last.
    void rosterRefreshed(const std::vector<PlayerRecord>& players, bool changed);
    void playerJoined(const PlayerRecord& player);
    void playerLeft(const PlayerRecord& player);
    void consoleLine(const ConsoleEntry& entry);
    void statusRefreshed(const ServerStatus& status);
    void actionTaken(const Requester& who, const std::string& what, ActionResult result);
    void healthSampled(const HealthSample& sample);

private:
    void HandleCloseRequest();
    void Say(std::string text);
    void NoteJoinsAndLeaves(const std::vector<PlayerRecord>& now);
    ActionResult Finish(const Requester& who, std::string what, ActionResult result);
    void NoteWorldChange(int rotationIndex);
    void StopTimers();

    EngineSession session_;
    QTimer statusTimer_;
    QTimer healthTimer_;
    HealthHistory health_;
    std::vector<StepRecord> stepBuffer_;  // reused every pass
    TickHistogram tickHistogram_;
    uint64_t overruns_ = 0;
    uint64_t commands_[3] = {};  // by Requester::Kind
    ConsoleHistory console_;
    std::vector<PlayerRecord> players_;
    std::unordered_map<int32_t, float> pings_;
    ServerState state_ = ServerState::Starting;
    std::string world_;
    float sendRate_ = 0.0f, receiveRate_ = 0.0f;
    int64_t startedAtMs_ = 0;
    std::string runId_;
    bool closing_ = false;
};
