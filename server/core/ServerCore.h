// The running server without widgets, under every front end (the window, the headless service,
// the web admin), and the only way to the engine and to the settings: it owns the engine session
// and the settings store, runs the 100 ms status pass, takes every operator action as a typed
// call that names who asked and answers what the engine really did, and publishes every change
// of state as a Qt signal.
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
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BanList.h"
#include "ConsoleHistory.h"
#include "CoreActions.h"
#include "CoreClock.h"
#include "EngineSession.h"
#include "HealthSample.h"
#include "RotationStore.h"
#include "SavePacing.h"
#include "ServerMetrics.h"
#include "ServerSettings.h"
#include "SettingFields.h"

enum class ServerState { Starting, Running, Stopped };
const char* Describe(ServerState state);

struct ServerStatus {
    ServerState state = ServerState::Starting;
    std::string world;  // the world the server runs, as the rotation names it
    int players = 0;
    int maxPlayers = 0;                         // what the game server was launched for
    float updateRate = 0.0f;                    // 0 once the worker no longer steps the engine
    float sendRate = 0.0f, receiveRate = 0.0f;  // bytes per second
    EngineVersion version;
    int64_t startedAtMs = 0;  // when the server began running; 0 when it never did
    // How long the engine's current Tick has run once it counts as hung (WorkerLiveness); 0
    // while the worker moves.
    int64_t engineHungMs = 0;
};

// A change of several settings: the first one refused, and the sheet's words for it.
struct SettingsOutcome : ActionOutcome {
    std::optional<Setting> refused;
};

class ServerCore : public QObject {
    Q_OBJECT

public:
    static constexpr int kStatusPeriodMs = 100;
    static constexpr int kHealthPeriodMs = 1000;
    // How long a status pass waits for the engine lock before it lets the pass go: a slow or
    // hung engine must not hold the user-interface thread.
    static constexpr std::chrono::milliseconds kPassLockWait{20};
    static constexpr const char* kWorldDirectory = "worlds";

    explicit ServerCore(EngineModule module, QObject* parent = nullptr);
    ~ServerCore() override;

    // Before Start: the clock the core reads (tests bring their own; it must outlive the core),
    // and where the bans are kept.
    void UseClock(const CoreClock& clock) { clock_ = &clock; }
    void UseBanFile(const QString& path) { bans_ = BanList(path); }

    // The start-up sequence, once. settingsSheet, when given, is shown after the settings are
    // loaded and answers whether the operator chose OK. A failure is said on the console.
    EngineSession::StartupResult Start(const std::function<bool()>& settingsSheet = {});
    // The teardown: worker joined, engine released. Any number of runs; the first one after a
    // running server ends the run.
    void Shutdown();

    // Operator actions. Each answers what became of it, is published with who asked, and changes
    // nothing when it is refused. A setting or the rotation changed, or a console command sent,
    // has the configuration written within two seconds (SavePacing.h).
    ActionResult SubmitConsoleCommand(std::string_view command, const Requester& who);
    ActionResult Kick(int32_t clientId, const Requester& who);
    ActionResult ChangeMap(const MapChoice& choice, const Requester& who);
    ActionResult ChangeSetting(const SettingChange& change, const Requester& who);
    // Several fields as the settings sheet shows them (SettingFields.h): all are checked first,
    // and when one is refused none is applied. A change of bandwidth sends the send bandwidth.
    SettingsOutcome ChangeSettings(const std::vector<SettingEdit>& edits, const Requester& who);
    // The owner's password, remoteadminpassword, by the remote admin password's rules; never
    // shown.
    ActionOutcome SetOwnerPassword(const QString& password, const Requester& who);
    // Sends the bandwidth of the selected preset, or the custom value.
    ActionResult ApplySendBandwidth(const Requester& who);
    // The whole rotation from position 0; a world the rotation cannot hold is left out.
    ActionResult SetRotation(const std::vector<std::string>& worlds, const Requester& who);
    // Has the engine write the configuration file now.
    ActionResult SaveConfiguration(const Requester& who);
    // Bans a player by name for `minutes` (0: for good), and drops them at once if present; a ban
    // on the same name is replaced. The console says what became of it.
    ActionOutcome Ban(std::string_view name, int64_t minutes, std::string_view reason,
                      const Requester& who);
    ActionOutcome Unban(std::string_view name, const Requester& who);
    // Ends the run: every front end hears quitRequested and ends its own way.
    ActionResult Quit(const Requester& who);

    // What the last status pass saw.
    ServerStatus Status() const;
    const std::vector<PlayerRecord>& Players() const { return players_; }
    float PingSeconds(int32_t clientId) const;  // 0 for a client the pass did not see
    std::string LabelText(uint32_t labelId) const { return session_.LoadLabelText(labelId); }
    const ConsoleHistory& Console() const { return console_; }
    // Changes with every start of a server, so a client can tell a new run's console from the old.
    const std::string& RunId() const { return runId_; }

    // Read from the engine now.
    // The rotation: position and world name (lowercased), missing entries left out.
    std::vector<RotationEntry> Rotation();
    // The worlds under worlds/ that the rotation can hold, in the engine's order.
    std::vector<std::string> Worlds();
    // The engine's version, or nothing when no engine runs.
    std::optional<EngineVersion> EngineVersionNow();
    // A text setting whole, as far as a command line can carry it; nothing when the engine could
    // not be asked.
    std::optional<std::string> WholeSettingText(SettingText which) {
        return settings_.ReadWholeText(which);
    }
    // The remote admin password as the last status pass read it (in the pass's one locked
    // section) or as the last change set it, so the web admin checks sessions against it without
    // waiting for a slow engine; nothing before a running server was read.
    const std::optional<std::string>& OwnerPassword() const { return ownerPassword_; }
    // The numbers the settings store holds.
    const SettingsValues& SettingValues() const { return settings_.Values(); }
    // A setting as its field in the settings sheet shows it.
    QString ShownSetting(Setting setting);
    // The bans in force, oldest first.
    std::vector<BanEntry> Bans() const;

    // An engine is bound and may be called: the start-up bound it and neither a teardown nor the
    // engine's close message has come since.
    bool HasServer() const { return session_.IsBound() && !session_.RefusesCalls(); }
    const EngineVersion& BoundVersion() const { return session_.BoundVersion(); }
    bool IsWorkerRunning() const { return session_.IsWorkerRunning(); }
    bool IsStopping() const { return session_.IsStopping(); }
    uint64_t StepCount() const { return session_.StepCount(); }
    // Any thread, without a lock: whether the worker moves (for health answers and watchdogs).
    const WorkerLiveness& Liveness() const { return session_.Liveness(); }
    // The teardown had to leave a hung engine unreleased: the program can only end (status 3).
    bool EngineReleaseFailed() const { return session_.ReleaseFailed(); }
    // Why the start-up failed, or empty.
    const std::string& FailureReason() const { return session_.FailureReason(); }

    // The health samples of the last ten minutes, oldest first.
    std::vector<HealthSample> Health() const { return health_.Samples(); }
    // The counters for an outside monitor; the web admin adds its logins.
    MetricsSnapshot Metrics() const;

    // A front end's own line on the console (the window's notes, the web admin's audit), with the
    // engine's lines, so that every front end sees it.
    void Announce(std::string text) { Say(std::move(text)); }

    // One status pass; the timer runs it every 100 ms while a server runs.
    void StatusPass();
    // One health sample from the worker's steps since the last; the timer runs it every second
    // while a server runs.
    void HealthPass();

    // For tests that play the engine's part under its lock.
    EngineSession& SessionForTests() { return session_; }

signals:
    void serverStarted();
    // The run ended: how, and who asked for it. Once per run.
    void runEnded(const RunEnd& end);
    // The engine asked the host to close; actions are refused from here on.
    void closeRequested();
    // An operator asked to quit; each front end ends its own way.
    void quitRequested(const Requester& who);
    // Every pass: the roster copy in the roster's order, and whether it changed since the last.
    void rosterRefreshed(const std::vector<PlayerRecord>& players, bool changed);
    void playerJoined(const PlayerRecord& player);
    void playerLeft(const PlayerRecord& player);
    void consoleLine(const ConsoleEntry& entry);
    void statusRefreshed(const ServerStatus& status);
    void settingChanged(Setting setting, const Requester& who);
    void rotationChanged(const Requester& who);
    // What an action was, as it may be shown: a password's value is never in it.
    void actionTaken(const Requester& who, const std::string& what, ActionResult result);
    // A ban was made, lifted or ended (then by the system).
    void bansChanged(const Requester& who);
    // The configuration file was written, or could not be: asked for, or after changes (then by
    // the system).
    void configurationSaved(bool written, const Requester& who);
    void healthSampled(const HealthSample& sample);

private:
    void HandleCloseRequest();
    void Say(std::string text);
    void NoteJoinsAndLeaves(const std::vector<PlayerRecord>& now);
    ActionResult Finish(const Requester& who, std::string what, ActionResult result);
    // Why no action can reach the engine now, if it cannot.
    std::optional<ActionResult> Unavailable() const;
    void NoteWorldChange(int rotationIndex);
    void AfterCommand(const std::string& line, int32_t answer, const Requester& who);
    void TakeDeferredAnswers();
    void EndRun(RunEnd end);
    void StopTimers();
    // A change the configuration file should keep; written when the pacing says.
    void NoteChange();
    bool SaveNow(const Requester& who);
    bool SaySaved(bool written, const Requester& who);
    void SaveIfDue();
    ActionOutcome Answer(const Requester& who, std::string what, ActionResult result,
                         std::string message = {});
    void RunBanCommand(const std::string& line, const Requester& who);
    void DropBannedPlayers();
    void DropBanned(const PlayerRecord& player, const BanEntry& ban);
    void EndExpiredBans();

    EngineSession session_;
    ServerSettings settings_{session_};
    QTimer statusTimer_;
    QTimer healthTimer_;
    HealthHistory health_;
    std::vector<StepRecord> stepBuffer_;  // reused every pass
    TickHistogram tickHistogram_;
    uint64_t overruns_ = 0;
    uint64_t commands_[4] = {};  // by Requester::Kind
    ConsoleHistory console_;
    std::vector<PlayerRecord> players_;
    std::unordered_map<int32_t, float> pings_;
    ServerState state_ = ServerState::Starting;
    std::string world_;
    int maxPlayers_ = 0;
    float sendRate_ = 0.0f, receiveRate_ = 0.0f;
    int64_t startedAtMs_ = 0;
    std::string runId_;
    std::optional<RunEnd> pendingEnd_;   // how the run ends when it does: a close, a quit
    std::optional<Requester> quitSent_;  // who typed the quit the engine is acting on
    // Calls left to the worker while a step held the lock, oldest first, until their answers: a
    // console command, or the paced save (no command).
    struct DeferredCall {
        std::optional<std::string> command;
        Requester who;
    };
    std::deque<DeferredCall> deferredCalls_;
    std::optional<std::string> ownerPassword_;
    bool engineHungSaid_ = false;
    const CoreClock* clock_ = &CoreClock::System();
    SavePacing savePacing_;
    BanList bans_;
    std::unordered_set<int32_t> droppedBanned_;  // dropped for a ban, until they are gone
    bool banWriteFailed_ = false;                // said once until a write works again
};
