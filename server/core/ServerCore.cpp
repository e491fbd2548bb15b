#include "ServerCore.h"

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <random>
#include <unordered_set>

#include "ByteText.h"
#include "CommandRules.h"
#include "WorldNames.h"

namespace {

int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

std::string NewRunId() {
    std::random_device source;
    const uint64_t value = (uint64_t{source()} << 32) | source();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

ActionResult FromSend(SendResult result) {
    switch (result) {
        case SendResult::Sent:
            return ActionResult::Done;
        case SendResult::NoEngine:
            return ActionResult::NoServer;
        case SendResult::TooLong:
            return ActionResult::TooLong;
        case SendResult::UnsafeText:
            return ActionResult::UnsafeText;
        case SendResult::WrongKind:
            break;
    }
    return ActionResult::Invalid;
}

bool IsPassword(Setting setting) {
    return setting == Setting::ServerPassword || setting == Setting::RemoteAdminPassword;
}

std::string ValueText(const SettingValue& value) {
    if (const auto* number = std::get_if<int32_t>(&value)) return std::to_string(*number);
    if (const auto* real = std::get_if<float>(&value)) return std::to_string(*real);
    return "\"" + std::get<std::string>(value) + "\"";
}

}  // namespace

std::string Requester::Describe() const {
    switch (kind) {
        case Kind::Window:
            return "window";
        case Kind::Terminal:
            return "terminal";
        case Kind::System:
            return "system";
        case Kind::Web:
            return "web " + address + (detail.empty() ? "" : " (" + detail + ")") +
                   (account.empty() ? "" : " " + account);
    }
    return {};
}

const char* Describe(ActionResult result) {
    switch (result) {
        case ActionResult::Done:
            return "done";
        case ActionResult::NoServer:
            return "no server is running";
        case ActionResult::NotResponding:
            return "the server engine is not responding";
        case ActionResult::Empty:
            return "nothing to send";
        case ActionResult::TooLong:
            return "a console command holds at most 119 characters";
        case ActionResult::UnsafeText:
            return "a command may not hold a line break or another control character";
        case ActionResult::NotFound:
            return "not found";
        case ActionResult::OutOfRange:
            return "no such rotation entry";
        case ActionResult::Conflict:
            return "the map rotation has changed since it was shown";
        case ActionResult::Refused:
            return "the engine refused it";
        case ActionResult::Invalid:
            return "not a value this setting takes";
    }
    return "";
}

const char* Describe(StopCause cause) {
    switch (cause) {
        case StopCause::StartupFailed:
            return "the start-up failed";
        case StopCause::EngineStopped:
            return "the engine stopped by itself";
        case StopCause::EngineClosed:
            return "the engine asked to close";
        case StopCause::Quit:
            return "quit";
        case StopCause::ShutDown:
            return "shut down";
        case StopCause::EngineHung:
            return "the engine could not be released: its Tick never returned";
    }
    return "";
}

int exit_status::Of(StopCause cause) {
    switch (cause) {
        case StopCause::StartupFailed:
        case StopCause::EngineStopped:
        case StopCause::EngineHung:
            return kServerFailed;
        case StopCause::EngineClosed:
        case StopCause::Quit:
        case StopCause::ShutDown:
            break;
    }
    return kClean;
}

const char* Describe(ServerState state) {
    switch (state) {
        case ServerState::Starting:
            return "starting";
        case ServerState::Running:
            return "running";
        case ServerState::Stopped:
            return "stopped";
    }
    return "";
}

ServerCore::ServerCore(EngineModule module, QObject* parent)
    : QObject(parent), session_(module, [this] {
          // May run on the worker, from inside Tick: the close is handled on this object's
          // thread, once the worker has let go of the engine. Dropped if the core is gone.
          QMetaObject::invokeMethod(this, &ServerCore::HandleCloseRequest, Qt::QueuedConnection);
      }) {
    connect(&statusTimer_, &QTimer::timeout, this, &ServerCore::StatusPass);
    connect(&healthTimer_, &QTimer::timeout, this, &ServerCore::HealthPass);
    stepBuffer_.reserve(StepRing::kCapacity);
}

ServerCore::~ServerCore() {
    StopTimers();
    session_.ShutdownEngine();
}

EngineSession::StartupResult ServerCore::Start(const std::function<bool()>& settingsSheet) {
    using Result = EngineSession::StartupResult;
    const Result result = session_.Start(settings_, settingsSheet);
    switch (result) {
        case Result::Running: {
            state_ = ServerState::Running;
            startedAtMs_ = NowMs();
            runId_ = NewRunId();
            maxPlayers_ = settings_.Values().maxplayers;
            NoteWorldChange(0);
            statusTimer_.start(kStatusPeriodMs);
            healthTimer_.start(kHealthPeriodMs);
            emit serverStarted();
            StatusPass();  // the start-up's own output comes first, before anything typed
            break;
        }
        case Result::NotBound:
        case Result::Failed:
            state_ = ServerState::Stopped;
            Say("Server start-up failed: " + session_.FailureReason() + ".");
            if (result == Result::Failed) EndRun({StopCause::StartupFailed, Requester::System()});
            break;
        case Result::Cancelled:
            state_ = ServerState::Stopped;
            break;
    }
    if (session_.ConfigWriteFailed())
        Say(std::string("Cannot write the configuration file ") + ServerSettings::kConfigPath +
            ": the settings of this run are lost at the next start (may the server write to "
            "tarnwick/?).");
    return result;
}

void ServerCore::Shutdown() {
    const bool wasRunning = state_ == ServerState::Running;
    StopTimers();
    session_.ShutdownEngine();
    state_ = ServerState::Stopped;
    players_.clear();
    pings_.clear();
    if (!wasRunning) return;
    RunEnd end = pendingEnd_.value_or(RunEnd{});
    if (session_.ReleaseFailed()) {
        Say("The server engine could not be released: its Tick has not returned.");
        end.cause = StopCause::EngineHung;
    }
    EndRun(end);
}

void ServerCore::EndRun(RunEnd end) {
    pendingEnd_.reset();
    quitSent_.reset();
    emit runEnded(end);
}

void ServerCore::HandleCloseRequest() {
    if (session_.RefusesCalls()) return;
    // Nothing more reaches the engine, neither the actions here nor a setting from a dialog that
    // is still open.
    session_.RefuseCalls();
    pendingEnd_ = RunEnd{StopCause::EngineClosed, Requester::System()};
    emit closeRequested();
}

void ServerCore::Say(std::string text) {
    emit consoleLine(console_.Append(std::move(text), NowMs()));
}

void ServerCore::StatusPass() {
    if (session_.IsBound() || state_ == ServerState::Running) session_.RunPendingTeardown();
    if (state_ == ServerState::Running && !session_.IsBound()) {
        StopTimers();
        state_ = ServerState::Stopped;
        Say("The server engine has stopped.");
        const std::optional<Requester> quitBy = quitSent_;
        EndRun(quitBy ? RunEnd{StopCause::Quit, *quitBy}
                      : RunEnd{StopCause::EngineStopped, Requester::System()});
    }

    // A Tick that runs long holds the lock: the pass then shows what it saw last, and says so.
    if (std::optional<EngineSession::Snapshot> snapshot = session_.TakeSnapshot(kPassLockWait)) {
        pings_.clear();
        for (std::size_t i = 0; i < snapshot->players.size(); ++i)
            pings_[snapshot->players[i].clientId] = snapshot->pingSeconds[i];
        if (snapshot->rosterChanged) NoteJoinsAndLeaves(snapshot->players);
        players_ = std::move(snapshot->players);
        emit rosterRefreshed(players_, snapshot->rosterChanged);
        for (std::string& line : snapshot->consoleLines) Say(std::move(line));
        sendRate_ = snapshot->bound ? snapshot->sendRate : 0.0f;
        receiveRate_ = snapshot->bound ? snapshot->receiveRate : 0.0f;
    }
    const bool hung = session_.Liveness().TickHung(WorkerLiveness::NowMs());
    if (hung != engineHungSaid_) {
        engineHungSaid_ = hung;
        Say(hung ? "The server engine is not responding: its Tick has not returned."
                 : "The server engine responds again.");
    }
    emit statusRefreshed(Status());
}

void ServerCore::StopTimers() {
    statusTimer_.stop();
    healthTimer_.stop();
}

void ServerCore::HealthPass() {
    stepBuffer_.clear();
    session_.StepRecords().Drain([this](const StepRecord& step) { stepBuffer_.push_back(step); });
    HealthSample sample = SummariseSteps(stepBuffer_);
    sample.lostSteps = static_cast<int>(session_.StepRecords().TakeLost());
    sample.timeMs = NowMs();
    sample.players = static_cast<int>(players_.size());
    sample.sendRate = sendRate_;
    sample.receiveRate = receiveRate_;
    for (const StepRecord& step : stepBuffer_) tickHistogram_.Add(step.tickNs);
    overruns_ += static_cast<uint64_t>(sample.overruns);
    health_.Add(sample);
    emit healthSampled(sample);
}

MetricsSnapshot ServerCore::Metrics() const {
    const ServerStatus status = Status();
    MetricsSnapshot metrics;
    metrics.ticks = tickHistogram_;
    metrics.overruns = overruns_;
    metrics.updateRate = status.updateRate;
    metrics.players = status.players;
    metrics.maxPlayers = status.maxPlayers;
    metrics.sendRate = status.sendRate;
    metrics.receiveRate = status.receiveRate;
    if (health_.Size() > 0)
        metrics.lockWaitMaxSeconds =
            static_cast<double>(health_.At(health_.Size() - 1).lockWaitMaxNs) * 1e-9;
    metrics.commandsWindow = commands_[static_cast<int>(Requester::Kind::Window)];
    metrics.commandsTerminal = commands_[static_cast<int>(Requester::Kind::Terminal)];
    metrics.commandsWeb = commands_[static_cast<int>(Requester::Kind::Web)];
    metrics.startTimeSeconds = static_cast<double>(startedAtMs_) * 1e-3;
    const int64_t now = WorkerLiveness::NowMs();
    metrics.workerHealthy = session_.Liveness().Healthy(now);
    metrics.workerStalledSeconds = static_cast<double>(session_.Liveness().StalledMs(now)) * 1e-3;
    return metrics;
}

void ServerCore::NoteJoinsAndLeaves(const std::vector<PlayerRecord>& now) {
    std::unordered_set<int32_t> before, after;
    for (const PlayerRecord& p : players_) before.insert(p.clientId);
    for (const PlayerRecord& p : now) after.insert(p.clientId);
    for (const PlayerRecord& p : players_)
        if (!after.count(p.clientId)) emit playerLeft(p);
    for (const PlayerRecord& p : now)
        if (!before.count(p.clientId)) emit playerJoined(p);
}

ServerStatus ServerCore::Status() const {
    ServerStatus status;
    status.state = state_;
    status.world = world_;
    status.players = static_cast<int>(players_.size());
    status.maxPlayers = maxPlayers_;
    status.updateRate = session_.IsWorkerRunning() ? session_.UpdateRate() : 0.0f;
    status.sendRate = sendRate_;
    status.receiveRate = receiveRate_;
    status.version = session_.BoundVersion();
    status.startedAtMs = startedAtMs_;
    const int64_t now = WorkerLiveness::NowMs();
    if (session_.Liveness().TickHung(now)) status.engineHungMs = session_.Liveness().StalledMs(now);
    return status;
}

float ServerCore::PingSeconds(int32_t clientId) const {
    const auto found = pings_.find(clientId);
    return found == pings_.end() ? 0.0f : found->second;
}

std::vector<RotationEntry> ServerCore::Rotation() {
    return ReadRotation(settings_);
}

std::vector<std::string> ServerCore::Worlds() {
    return ListWorlds(session_, kWorldDirectory);
}

std::optional<EngineVersion> ServerCore::EngineVersionNow() {
    EngineVersion v;
    if (!session_.WithEngine(
            [&](ServerEngine& e) { e.GetEngineVersion(&v.major, &v.minor, &v.build); }))
        return std::nullopt;
    return v;
}

std::optional<ActionResult> ServerCore::Unavailable() const {
    if (!HasServer()) return ActionResult::NoServer;
    if (session_.Liveness().TickHung(WorkerLiveness::NowMs())) return ActionResult::NotResponding;
    return std::nullopt;
}

ActionResult ServerCore::Finish(const Requester& who, std::string what, ActionResult result) {
    emit actionTaken(who, what, result);
    return result;
}

ActionResult ServerCore::SubmitConsoleCommand(std::string_view command, const Requester& who) {
    std::string what = "command " + std::string(command.substr(0, command_rules::kMaxLength));
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    if (const ActionResult check = command_rules::Check(command); check != ActionResult::Done)
        return Finish(who, what, check);

    const std::string line(command);
    Say(line);  // the echo comes before anything the engine answers
    int32_t answer = 0;
    session_.WithEngine([&](ServerEngine& e) { answer = e.ExecuteCommand(line.c_str()); });
    ++commands_[static_cast<int>(who.kind)];
    if (answer != 0) {
        if (const std::optional<int> index = command_rules::ChangeMapPosition(line))
            NoteWorldChange(*index);
        // The engine ends its game server at its next step: the run then ends as this quit.
        if (command_rules::IsQuit(line)) quitSent_ = who;
    }
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::Kick(int32_t clientId, const Requester& who) {
    std::string what = "kick " + std::to_string(clientId);
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    const bool known = std::any_of(players_.begin(), players_.end(),
                                   [&](const PlayerRecord& p) { return p.clientId == clientId; });
    if (!known) return Finish(who, what, ActionResult::NotFound);
    int32_t answer = 0;
    session_.WithEngine([&](ServerEngine& e) { answer = e.DropClient(clientId); });
    // The player may have left since the last pass: the engine then has nobody to drop.
    return Finish(who, std::move(what), answer != 0 ? ActionResult::Done : ActionResult::NotFound);
}

ActionResult ServerCore::ChangeMap(const MapChoice& choice, const Requester& who) {
    std::string what = "changemap " + std::to_string(choice.index);
    if (choice.world) what += " (" + *choice.world + ")";
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    if (choice.index < 0 || choice.index >= settings_.NumMaps())
        return Finish(who, what, ActionResult::OutOfRange);
    const std::optional<std::string> entry = settings_.GetRotationMap(choice.index);
    if (!entry) return Finish(who, what, ActionResult::OutOfRange);
    // The rotation may have been edited since the requester read it: the position alone would
    // then switch to a world nobody chose.
    // The world may come as its bytes (the window) or as shown (a web page: the byte text rule).
    const std::string held = byte_text::LowercaseAscii(*entry);
    if (choice.world) {
        const std::string seen = byte_text::LowercaseAscii(*choice.world);
        if (seen != held && seen != byte_text::ToUtf8(held))
            return Finish(who, what, ActionResult::Conflict);
    }
    const std::string line = "changemap " + std::to_string(choice.index);
    int32_t answer = 0;
    session_.WithEngine([&](ServerEngine& e) { answer = e.ExecuteCommand(line.c_str()); });
    // The world file may have gone since the rotation was made: the old world then runs on.
    if (answer == 0) return Finish(who, std::move(what), ActionResult::Refused);
    world_ = held;
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::ChangeSetting(const SettingChange& change, const Requester& who) {
    std::string what = std::string("set ") + VariableName(change.setting) + " " +
                       (IsPassword(change.setting) ? "********" : ValueText(change.value));
    const ActionResult result = FromSend(settings_.Apply(change));
    if (result == ActionResult::Done) emit settingChanged(change.setting, who);
    return Finish(who, std::move(what), result);
}

ActionResult ServerCore::ApplySendBandwidth(const Requester& who) {
    return Finish(who, "sendbandwidth", FromSend(settings_.ApplySendBandwidth()));
}

ActionResult ServerCore::SetRotation(const std::vector<std::string>& worlds, const Requester& who) {
    std::string what = "rotation of " + std::to_string(worlds.size()) + " worlds";
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    if (!WriteRotation(settings_, worlds)) return Finish(who, what, ActionResult::NoServer);
    emit rotationChanged(who);
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::SaveConfiguration(const Requester& who) {
    if (const auto refused = Unavailable()) return Finish(who, "save", *refused);
    if (settings_.Save() != 0) return Finish(who, "save", ActionResult::Done);
    Say(std::string("Cannot write the configuration file ") + ServerSettings::kConfigPath + ".");
    return Finish(who, "save", ActionResult::Refused);
}

ActionResult ServerCore::Quit(const Requester& who) {
    if (!pendingEnd_) pendingEnd_ = RunEnd{StopCause::Quit, who};
    emit quitRequested(who);
    return Finish(who, "quit", ActionResult::Done);
}

void ServerCore::NoteWorldChange(int rotationIndex) {
    if (auto entry = settings_.GetRotationMap(rotationIndex))
        world_ = byte_text::LowercaseAscii(*entry);
}
