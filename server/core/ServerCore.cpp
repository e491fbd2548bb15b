#include "ServerCore.h"

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <unordered_set>
#include <utility>

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

constexpr const char* kMask = "********";

std::string Quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

// "for good", or "until 2026-12-07 10:00 UTC".
std::string BanEnd(int64_t until) {
    if (until == 0) return "for good";
    const std::time_t time = static_cast<std::time_t>(until);
    std::tm utc{};
    char text[32] = "?";
    if (gmtime_r(&time, &utc)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return std::string("until ") + text;
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
            return "not a value it can take";
        case ActionResult::NotWritten:
            return "it could not be written to its file";
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
    if (const std::string problem = bans_.Load(); !problem.empty())
        Say("Bans: " + problem +
            "; the file is left as it is, and no ban holds or can be changed "
            "until it is mended or removed.");
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
    if (wasRunning && HasServer() && savePacing_.Pending()) SaveNow(Requester::System());
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
    session_.TakeDeferredAnswers();
    deferredCalls_.clear();
    emit runEnded(end);
}

void ServerCore::HandleCloseRequest() {
    if (session_.RefusesCalls()) return;
    if (state_ == ServerState::Running && savePacing_.Pending()) SaveNow(Requester::System());
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
    TakeDeferredAnswers();  // a deferred "quit" is known before the teardown it causes
    SaveIfDue();
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
    const auto readPassword = [this](ServerEngine& engine) {
        ownerPassword_ = settings_.ReadWholeText(engine, SettingText::RemoteAdminPassword);
    };
    if (std::optional<EngineSession::Snapshot> snapshot =
            session_.TakeSnapshot(kPassLockWait, readPassword)) {
        pings_.clear();
        for (std::size_t i = 0; i < snapshot->players.size(); ++i)
            pings_[snapshot->players[i].clientId] = snapshot->pingSeconds[i];
        if (snapshot->rosterChanged) NoteJoinsAndLeaves(snapshot->players);
        players_ = std::move(snapshot->players);
        emit rosterRefreshed(players_, snapshot->rosterChanged);
        if (snapshot->rosterChanged) DropBannedPlayers();
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
    EndExpiredBans();
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
    std::string what =
        "command " + command_rules::Masked(command.substr(0, command_rules::kMaxLength));
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    if (const ActionResult check = command_rules::Check(command); check != ActionResult::Done)
        return Finish(who, what, check);

    const std::string line(command);
    // The echo comes before anything the engine answers, and never shows a password.
    Say(command_rules::Masked(line));
    if (command_rules::ParseBanCommand(line)) {
        RunBanCommand(line, who);
        return Finish(who, std::move(what), ActionResult::Done);
    }
    int32_t answer = 0;
    const auto send = [line](ServerEngine& engine) { return engine.ExecuteCommand(line.c_str()); };
    switch (session_.RunOrDefer(send, kPassLockWait, answer)) {
        case EngineSession::CallRun::Ran:
            AfterCommand(line, answer, who);
            break;
        case EngineSession::CallRun::Deferred:
            deferredCalls_.push_back({line, who});
            break;
        case EngineSession::CallRun::NotRun:
            return Finish(who, std::move(what), ActionResult::NotResponding);
    }
    ++commands_[static_cast<int>(who.kind)];
    // Any variable may have changed; the configuration file keeps them.
    if (who.kind != Requester::Kind::System) NoteChange();
    return Finish(who, std::move(what), ActionResult::Done);
}

void ServerCore::AfterCommand(const std::string& line, int32_t answer, const Requester& who) {
    if (answer == 0) return;
    if (const std::optional<int> index = command_rules::ChangeMapPosition(line))
        NoteWorldChange(*index);
    // The engine ends its game server at its next step: the run then ends as this quit.
    if (command_rules::IsQuit(line)) quitSent_ = who;
}

void ServerCore::TakeDeferredAnswers() {
    for (const int32_t answer : session_.TakeDeferredAnswers()) {
        if (deferredCalls_.empty()) break;
        const DeferredCall call = std::move(deferredCalls_.front());
        deferredCalls_.pop_front();
        if (call.command)
            AfterCommand(*call.command, answer, call.who);
        else
            SaySaved(answer != 0, call.who);
    }
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
                       (IsPassword(change.setting) ? kMask : ValueText(change.value));
    const ActionResult result = FromSend(settings_.Apply(change));
    if (result == ActionResult::Done) {
        NoteChange();
        if (change.setting == Setting::RemoteAdminPassword) {
            if (std::optional<std::string> now =
                    settings_.ReadWholeText(SettingText::RemoteAdminPassword))
                ownerPassword_ = std::move(now);
        }
        emit settingChanged(change.setting, who);
    }
    return Finish(who, std::move(what), result);
}

ActionResult ServerCore::ApplySendBandwidth(const Requester& who) {
    return Finish(who, "sendbandwidth", FromSend(settings_.ApplySendBandwidth()));
}

ActionResult ServerCore::SetRotation(const std::vector<std::string>& worlds, const Requester& who) {
    std::string what = "rotation of " + std::to_string(worlds.size()) + " worlds";
    if (const auto refused = Unavailable()) return Finish(who, what, *refused);
    if (!WriteRotation(settings_, worlds)) return Finish(who, what, ActionResult::NoServer);
    NoteChange();
    emit rotationChanged(who);
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::SaveConfiguration(const Requester& who) {
    if (const auto refused = Unavailable()) return Finish(who, "save", *refused);
    return Finish(who, "save", SaveNow(who) ? ActionResult::Done : ActionResult::Refused);
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

void ServerCore::NoteChange() {
    // The start-up writes the file itself once its settings are in.
    if (state_ == ServerState::Running) savePacing_.Changed(clock_->SteadyMs());
}

void ServerCore::SaveIfDue() {
    if (state_ != ServerState::Running || !HasServer() || !savePacing_.Pending()) return;
    // An engine on its way out (a quit, a stop) still writes what was changed before.
    if (!session_.IsStopping() && !savePacing_.Due(clock_->SteadyMs())) return;
    savePacing_.Saved();
    // A slow step leaves the write to the worker: its answer comes with a later pass.
    int32_t answer = 0;
    const auto write = [](ServerEngine& engine) { return ServerSettings::Save(engine); };
    switch (session_.RunOrDefer(write, kPassLockWait, answer)) {
        case EngineSession::CallRun::Ran:
        case EngineSession::CallRun::NotRun:
            SaySaved(answer != 0, Requester::System());
            break;
        case EngineSession::CallRun::Deferred:
            deferredCalls_.push_back({std::nullopt, Requester::System()});
            break;
    }
}

bool ServerCore::SaveNow(const Requester& who) {
    savePacing_.Saved();
    return SaySaved(settings_.Save() != 0, who);
}

bool ServerCore::SaySaved(bool written, const Requester& who) {
    Say(std::string(written ? "Configuration saved to " : "Cannot write the configuration file ") +
        ServerSettings::kConfigPath + ".");
    emit configurationSaved(written, who);
    return written;
}

ActionOutcome ServerCore::Answer(const Requester& who, std::string what, ActionResult result,
                                 std::string message) {
    if (!message.empty()) Say(message);
    Finish(who, std::move(what), result);
    return {result, std::move(message)};
}

SettingsOutcome ServerCore::ChangeSettings(const std::vector<SettingEdit>& edits,
                                           const Requester& who) {
    SettingsOutcome outcome;
    if (const auto refused = Unavailable()) {
        outcome.result = Finish(who, "settings", *refused);
        outcome.message = Describe(outcome.result);
        return outcome;
    }
    for (const SettingEdit& edit : edits) {
        const SettingField& field = FieldOf(edit.setting);
        const FieldProblem problem = CheckField(field, edit.shown);
        if (problem == FieldProblem::None) continue;
        const bool password = field.kind == SettingKind::Password;
        outcome.result = Finish(who,
                                std::string("set ") + VariableName(edit.setting) + " " +
                                    (password ? kMask : edit.shown.left(64).toStdString()),
                                ActionResult::Invalid);
        outcome.refused = edit.setting;
        outcome.message = RefusalMessage(field, problem).toStdString();
        return outcome;
    }
    bool bandwidth = false;
    for (const SettingEdit& edit : edits) {
        const ActionResult result =
            ChangeSetting(ToSettingChange(FieldOf(edit.setting), edit.shown), who);
        if (result != ActionResult::Done && outcome.result == ActionResult::Done) {
            outcome.result = result;
            outcome.refused = edit.setting;
            outcome.message = Describe(result);
        }
        bandwidth = bandwidth || edit.setting == Setting::ServerBandwidth ||
                    edit.setting == Setting::CustomBandwidth;
    }
    // As the Advanced page does: the engine sends what the chosen preset says.
    if (bandwidth) ApplySendBandwidth(who);
    return outcome;
}

ActionOutcome ServerCore::SetOwnerPassword(const QString& password, const Requester& who) {
    if (password.isEmpty())
        return Answer(who, std::string("set remoteadminpassword ") + kMask, ActionResult::Invalid,
                      "The owner password cannot be empty.");
    return ChangeSettings({{Setting::RemoteAdminPassword, password}}, who);
}

QString ServerCore::ShownSetting(Setting setting) {
    const SettingField& field = FieldOf(setting);
    if (field.kind != SettingKind::Text && field.kind != SettingKind::Password)
        return ShownNumber(field, settings_.Values());
    // The first six settings are the texts, in SettingText's order.
    const std::string text = settings_.WholeText(static_cast<SettingText>(setting));
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<BanEntry> ServerCore::Bans() const {
    const int64_t now = clock_->EpochSeconds();
    std::vector<BanEntry> bans;
    for (const BanEntry& ban : bans_.Entries())
        if (ban.until == 0 || ban.until > now) bans.push_back(ban);
    return bans;
}

ActionOutcome ServerCore::Ban(std::string_view name, int64_t minutes, std::string_view reason,
                              const Requester& who) {
    std::string what = "ban " + Quoted(name.substr(0, BanList::kMaxNameBytes)) + " " +
                       (minutes == 0 ? "for good" : "for " + std::to_string(minutes) + " minutes");
    std::string why = BanList::CheckName(name);
    if (why.empty() && (minutes < 0 || minutes > BanList::kMaxMinutes))
        why = "a ban lasts 0 (for good) to " + std::to_string(BanList::kMaxMinutes) + " minutes";
    if (why.empty()) why = BanList::CheckReason(reason);
    if (!why.empty())
        return Answer(who, std::move(what), ActionResult::Invalid, "Ban refused: " + why + ".");

    BanEntry ban{std::string(name), 0, who.Describe(), std::string(reason)};
    if (minutes != 0) ban.until = clock_->EpochSeconds() + minutes * 60;
    // A player here now is banned by the name as the engine has it.
    for (const PlayerRecord& player : players_) {
        if (BanList::SameName(player.name, name)) {
            ban.name = player.name;
            break;
        }
    }
    if (const std::string problem = bans_.Put(ban); !problem.empty())
        return Answer(who, std::move(what), ActionResult::NotWritten,
                      "Ban not made: " + problem + ".");
    Say("Banned " + Quoted(ban.name) + " " + BanEnd(ban.until) + " (" + ban.by + ")" +
        (ban.reason.empty() ? "" : ": " + ban.reason) + ".");
    emit bansChanged(who);
    if (!Unavailable())
        for (const PlayerRecord& player : players_)
            if (BanList::SameName(player.name, ban.name)) DropBanned(player, ban);
    return Answer(who, std::move(what), ActionResult::Done);
}

ActionOutcome ServerCore::Unban(std::string_view name, const Requester& who) {
    std::string what = "unban " + Quoted(name.substr(0, BanList::kMaxNameBytes));
    bool found = false;
    if (const std::string problem = bans_.Remove(name, found); !problem.empty())
        return Answer(who, std::move(what), ActionResult::NotWritten,
                      "Ban not lifted: " + problem + ".");
    if (!found)
        return Answer(who, std::move(what), ActionResult::NotFound,
                      "No ban on " + Quoted(name.substr(0, BanList::kMaxNameBytes)) + ".");
    Say("The ban on " + Quoted(name) + " is lifted (" + who.Describe() + ").");
    emit bansChanged(who);
    return Answer(who, std::move(what), ActionResult::Done);
}

void ServerCore::RunBanCommand(const std::string& line, const Requester& who) {
    const command_rules::BanCommand command = *command_rules::ParseBanCommand(line);
    if (!command.usage.empty()) {
        Say(command.usage);
        return;
    }
    using Kind = command_rules::BanCommand::Kind;
    switch (command.kind) {
        case Kind::Ban:
            Ban(command.name, command.minutes, command.reason, who);
            return;
        case Kind::Unban:
            Unban(command.name, who);
            return;
        case Kind::List:
            break;
    }
    const std::vector<BanEntry> bans = Bans();
    Say(bans.empty() ? "Bans: none." : "Bans: " + std::to_string(bans.size()) + ".");
    for (const BanEntry& ban : bans)
        Say("  " + Quoted(ban.name) + " " + BanEnd(ban.until) + " (" + ban.by + ")" +
            (ban.reason.empty() ? "" : ": " + ban.reason));
}

void ServerCore::DropBanned(const PlayerRecord& player, const BanEntry& ban) {
    if (!droppedBanned_.insert(player.clientId).second) return;
    session_.WithEngine([&](ServerEngine& e) { e.DropClient(player.clientId); });
    Say("Dropped " + Quoted(player.name) + " (client " + std::to_string(player.clientId) +
        "), banned " + BanEnd(ban.until) + (ban.reason.empty() ? "" : ": " + ban.reason) + ".");
}

void ServerCore::DropBannedPlayers() {
    std::unordered_set<int32_t> present;
    const int64_t now = clock_->EpochSeconds();
    for (const PlayerRecord& player : players_) {
        present.insert(player.clientId);
        if (const BanEntry* ban = bans_.Find(player.name, now)) DropBanned(player, *ban);
    }
    std::erase_if(droppedBanned_, [&](int32_t id) { return !present.count(id); });
}

void ServerCore::EndExpiredBans() {
    std::string problem;
    const std::vector<BanEntry> ended = bans_.TakeExpired(clock_->EpochSeconds(), problem);
    if (!problem.empty()) {
        if (!std::exchange(banWriteFailed_, true)) Say("Bans: " + problem + ".");
        return;
    }
    banWriteFailed_ = false;
    for (const BanEntry& ban : ended) Say("The ban on " + Quoted(ban.name) + " has ended.");
    if (!ended.empty()) emit bansChanged(Requester::System());
}
