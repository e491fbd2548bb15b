#include "ServerCore.h"

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <random>
#include <unordered_set>

#include "EngineLink.h"
#include "ServerSettings.h"

namespace {

int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

std::string NewRunId() {
    std::random_device random;
    const uint64_t value = (static_cast<uint64_t>(random()) << 32) ^ random();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// World names as the rotation shows them: A to Z lowercased, every other byte kept.
std::string Lowercase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The position of a "changemap N" typed by an operator (any case), so the status follows it.
std::optional<int> TypedChangeMap(std::string_view command) {
    constexpr std::string_view kWord = "changemap ";
    if (Lowercase(std::string(command.substr(0, kWord.size()))) != kWord) return std::nullopt;
    std::string_view digits = command.substr(kWord.size());
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    int index = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    return index;
}

}  // namespace

std::string Requester::Describe() const {
    switch (kind) {
        case Kind::Window:
            return "window";
        case Kind::Terminal:
            return "terminal";
        case Kind::Web:
            return "web " + address + (detail.empty() ? "" : " (" + detail + ")");
    }
    return {};
}

const char* Describe(ActionResult result) {
    switch (result) {
        case ActionResult::Done:
            return "done";
        case ActionResult::NoServer:
            return "no server is running";
        case ActionResult::Empty:
            return "nothing to send";
        case ActionResult::UnsafeText:
            return "a command may not hold a line break or a NUL byte";
        case ActionResult::UnknownClient:
            return "no such player";
        case ActionResult::OutOfRange:
            return "no such rotation entry";
        case ActionResult::Refused:
            return "the engine refused it";
    }
    return "";
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
    const Result result = session_.Start(settingsSheet);
    switch (result) {
        case Result::Running: {
            state_ = ServerState::Running;
            startedAtMs_ = NowMs();
            runId_ = NewRunId();
            if (auto entry = ServerSettings::Instance().GetRotationMap(0))
                world_ = Lowercase(*entry);
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
            if (result == Result::Failed) emit serverStopped(StopReason::StartupFailed);
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
    if (wasRunning) emit serverStopped(StopReason::ShutDown);
}

void ServerCore::HandleCloseRequest() {
    if (std::exchange(closing_, true)) return;
    // Nothing more reaches the engine, neither the actions here nor the settings store's
    // commands from a dialog that is still open.
    EngineLink::Instance().Unbind();
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
        emit serverStopped(StopReason::EngineStopped);
    }

    EngineSession::Snapshot snapshot = session_.TakeSnapshot();
    pings_.clear();
    for (const PlayerRecord& player : snapshot.players)
        pings_[player.clientId] = session_.ClientPingSeconds(player.clientId);
    if (snapshot.rosterChanged) NoteJoinsAndLeaves(snapshot.players);
    players_ = std::move(snapshot.players);
    emit rosterRefreshed(players_, snapshot.rosterChanged);

    for (std::string& line : snapshot.consoleLines) Say(std::move(line));

    if (!session_.WithEngine([&](ServerEngine& e) { e.GetTraffic(&sendRate_, &receiveRate_); }))
        sendRate_ = receiveRate_ = 0.0f;
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
    status.maxPlayers = ServerSettings::Instance().Values().maxplayers;
    status.updateRate = session_.IsWorkerRunning() ? session_.UpdateRate() : 0.0f;
    status.sendRate = sendRate_;
    status.receiveRate = receiveRate_;
    status.version = session_.BoundVersion();
    status.startedAtMs = startedAtMs_;
    return status;
}

float ServerCore::PingSeconds(int32_t clientId) const {
    const auto found = pings_.find(clientId);
    return found == pings_.end() ? 0.0f : found->second;
}

std::vector<std::pair<int, std::string>> ServerCore::Rotation() const {
    std::vector<std::pair<int, std::string>> rotation;
    ServerSettings& settings = ServerSettings::Instance();
    for (int i = 0; i < settings.NumMaps(); ++i)
        if (auto entry = settings.GetRotationMap(i)) rotation.emplace_back(i, Lowercase(*entry));
    return rotation;
}

ActionResult ServerCore::Finish(const Requester& who, std::string what, ActionResult result) {
    emit actionTaken(who, what, result);
    return result;
}

ActionResult ServerCore::SubmitConsoleCommand(std::string_view command, const Requester& who) {
    command = command.substr(0, kCommandLength);
    std::string what = "command " + std::string(command);
    if (closing_ || !session_.IsBound()) return Finish(who, what, ActionResult::NoServer);
    if (command.empty()) return Finish(who, what, ActionResult::Empty);
    // The engine reads a line break as the start of another command.
    if (command.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return Finish(who, what, ActionResult::UnsafeText);

    const std::string line(command);
    Say(line);  // the echo comes before anything the engine answers
    int32_t answer = 0;
    session_.WithEngine([&](ServerEngine& e) { answer = e.ExecuteCommand(line.c_str()); });
    ++commands_[static_cast<int>(who.kind)];
    if (answer != 0)
        if (const std::optional<int> index = TypedChangeMap(line)) NoteWorldChange(*index);
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::Kick(int32_t clientId, const Requester& who) {
    std::string what = "kick " + std::to_string(clientId);
    if (closing_ || !session_.IsBound()) return Finish(who, what, ActionResult::NoServer);
    const bool known = std::any_of(players_.begin(), players_.end(),
                                   [&](const PlayerRecord& p) { return p.clientId == clientId; });
    if (!known) return Finish(who, what, ActionResult::UnknownClient);
    session_.WithEngine([&](ServerEngine& e) { e.DropClient(clientId); });
    return Finish(who, std::move(what), ActionResult::Done);
}

ActionResult ServerCore::ChangeMap(int rotationIndex, const Requester& who) {
    std::string what = "changemap " + std::to_string(rotationIndex);
    if (closing_ || !session_.IsBound()) return Finish(who, what, ActionResult::NoServer);
    ServerSettings& settings = ServerSettings::Instance();
    if (rotationIndex < 0 || rotationIndex >= settings.NumMaps() ||
        !settings.GetRotationMap(rotationIndex))
        return Finish(who, what, ActionResult::OutOfRange);
    int32_t answer = 0;
    session_.WithEngine([&](ServerEngine& e) { answer = e.ExecuteCommand(what.c_str()); });
    // The world file may have gone since the rotation was made: the old world then runs on.
    if (answer == 0) return Finish(who, std::move(what), ActionResult::Refused);
    NoteWorldChange(rotationIndex);
    return Finish(who, std::move(what), ActionResult::Done);
}

void ServerCore::NoteWorldChange(int rotationIndex) {
    if (auto entry = ServerSettings::Instance().GetRotationMap(rotationIndex))
        world_ = Lowercase(*entry);
}
