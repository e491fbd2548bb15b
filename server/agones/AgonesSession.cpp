#include "AgonesSession.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>

namespace {

using Delivery = AgonesSdk::Delivery;

constexpr const char* kPlayers = "players";

// A Kubernetes label value: at most 63 of [A-Za-z0-9._-], alphanumeric at both ends. A world is
// named by its file name without the folder ("worlds/dunes" is "dunes").
std::string LabelValue(const std::string& text) {
    std::string value = text.substr(text.find_last_of('/') + 1);
    for (char& c : value)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    if (value.size() > 63) value.resize(63);
    const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if(value.begin(), value.end(), alnum);
    const auto last = std::find_if(value.rbegin(), value.rend(), alnum).base();
    return first < last ? std::string(first, last) : std::string();
}

// What the sidecar said, for one log line: its message when the answer is a gateway error.
QString Reason(const SdkAnswer& answer) {
    if (answer.outcome != SdkAnswer::Outcome::Answered) return QString::fromStdString(answer.error);
    QString message =
        QJsonDocument::fromJson(QByteArray::fromStdString(answer.body))["message"].toString();
    message = message.left(200);
    for (QChar& c : message)
        if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
    return message.isEmpty() ? QStringLiteral("HTTP %1").arg(answer.status)
                             : QStringLiteral("HTTP %1, %2").arg(answer.status).arg(message);
}

// The next call that brings Agones' players closer to the server's, or none when they agree.
struct PlayersCall {
    std::string path, body;
    std::set<int32_t> ids;  // what Agones keeps once the call is done
    int capacity;
    int alsoDone = 0;  // an answer saying that it already is so
};

std::optional<PlayersCall> NextPlayersCall(bool counter, const std::set<int32_t>& wanted,
                                           int wantedCapacity, const std::set<int32_t>& kept,
                                           int keptCapacity) {
    const bool newCapacity = wantedCapacity > 0 && wantedCapacity != keptCapacity;
    const std::string capacity = std::to_string(wantedCapacity);
    if (counter) {
        if (!newCapacity && wanted.size() == kept.size()) return std::nullopt;
        // A count over the capacity would be refused; the server's own capacity bounds it.
        const std::size_t count = wantedCapacity > 0
                                      ? std::min(wanted.size(), std::size_t(wantedCapacity))
                                      : wanted.size();
        return PlayersCall{"/v1beta1/counters/players",
                           "{\"count\":\"" + std::to_string(count) + "\"" +
                               (wantedCapacity > 0 ? ",\"capacity\":\"" + capacity + "\"" : "") +
                               "}",
                           wanted, wantedCapacity};
    }
    const std::string list = "/v1beta1/lists/players";
    if (newCapacity)
        return PlayersCall{list, "{\"capacity\":\"" + capacity + "\"}", kept, wantedCapacity};
    std::set<int32_t> ids = kept;
    for (const int32_t id : wanted)
        if (ids.insert(id).second)  // 409: already in the list
            return PlayersCall{list + ":addValue", "{\"value\":\"" + std::to_string(id) + "\"}",
                               ids, keptCapacity, 409};
    for (const int32_t id : kept)
        if (!wanted.count(id) && ids.erase(id))  // 404: not in the list
            return PlayersCall{list + ":removeValue", "{\"value\":\"" + std::to_string(id) + "\"}",
                               ids, keptCapacity, 404};
    return std::nullopt;
}

}  // namespace

AgonesSession::AgonesSession(uint16_t port, std::function<Liveness()> liveness,
                             std::chrono::milliseconds healthPeriod, AgonesSdk::Timing timing,
                             QObject* parent)
    : QObject(parent),
      sdk_(port, timing),
      liveness_(std::move(liveness)),
      healthPeriod_(healthPeriod) {
    connect(&sdk_, &AgonesSdk::notice, this, &AgonesSession::notice);
    connect(&healthTimer_, &QTimer::timeout, this, &AgonesSession::CheckHealth);
}

void AgonesSession::ServerRunning(const AgonesFacts& facts) {
    if (told_ || ended_) return;
    told_ = true;
    emit notice(false, QStringLiteral("Agones: telling the SDK sidecar at localhost:%1 that the "
                                      "game server runs")
                           .arg(sdk_.Port()));
    sdk_.Send("GET", "/gameserver", {}, Delivery::UntilAnswered,
              [this](const SdkAnswer& answer) { LearnTally(answer); });
    world_ = facts.world;
    SetLabel("world", world_);
    SetLabel("version", facts.version);
    Put("POST", "/ready", "{}", [this] {
        emit notice(false, QStringLiteral("Agones: Ready; the game server takes players"));
    });
    const Liveness now = liveness_();
    gate_.emplace(healthPeriod_ * 3, now.workerSteps, now.loopTurns);
    healthTimer_.start(healthPeriod_);
    StatusSeen(facts);
}

void AgonesSession::StatusSeen(const AgonesFacts& facts) {
    if (!told_ || ended_) return;
    if (facts.world != world_) {
        world_ = facts.world;
        SetLabel("world", world_);
    }
    wantedIds_ = std::set<int32_t>(facts.playerIds.begin(), facts.playerIds.end());
    wantedCapacity_ = facts.maxPlayers;
    SendPlayers();
}

void AgonesSession::End() {
    if (ended_) return;
    ended_ = true;
    healthTimer_.stop();
    if (!told_) return;
    sdk_.DropQueued();
    Put("POST", "/shutdown", "{}",
        [this] { emit notice(false, QStringLiteral("Agones: Shutdown sent")); });
}

bool AgonesSession::WaitForDelivery(std::chrono::milliseconds limit) {
    if (sdk_.Idle()) return true;
    QEventLoop loop;
    connect(&sdk_, &AgonesSdk::idle, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    if (!sdk_.Idle())
        emit notice(true, QStringLiteral("Agones: the SDK sidecar did not take the last calls "
                                         "within %1 ms")
                              .arg(limit.count()));
    return sdk_.Idle();
}

void AgonesSession::Put(const char* method, std::string path, std::string body,
                        std::function<void()> onOk) {
    const std::string what = std::string(method) + ' ' + path;
    sdk_.Send(method, std::move(path), std::move(body), Delivery::UntilAnswered,
              [this, what, onOk = std::move(onOk)](const SdkAnswer& answer) {
                  if (!answer.Ok()) {
                      Refused(what, answer);
                  } else if (onOk) {
                      onOk();
                  }
              });
}

void AgonesSession::Refused(const std::string& what, const SdkAnswer& answer) {
    emit notice(
        true,
        QStringLiteral("Agones: %1 failed: %2").arg(QString::fromStdString(what), Reason(answer)));
}

void AgonesSession::SetLabel(const char* key, const std::string& value) {
    Put("PUT", "/metadata/label",
        "{\"key\":\"" + std::string(key) + "\",\"value\":\"" + LabelValue(value) + "\"}");
}

void AgonesSession::LearnTally(const SdkAnswer& answer) {
    tally_ = Tally::None;
    if (!answer.Ok()) {
        Refused("GET /gameserver", answer);
        return;
    }
    const QJsonDocument record = QJsonDocument::fromJson(QByteArray::fromStdString(answer.body));
    if (!record.isObject()) {
        emit notice(true, QStringLiteral("Agones: the GameServer record is not a JSON object; "
                                         "players are not counted"));
        return;
    }
    const QJsonObject status = record["status"].toObject();
    if (status["counters"].toObject().contains(kPlayers)) {
        tally_ = Tally::Counter;
    } else if (status["lists"].toObject().contains(kPlayers)) {
        tally_ = Tally::List;
    } else {
        return;
    }
    emit notice(false, QStringLiteral("Agones: players are kept in the fleet's \"players\" %1")
                           .arg(tally_ == Tally::Counter ? "counter" : "list"));
    SendPlayers();
}

void AgonesSession::SendPlayers() {
    if (playersOnWire_ || ended_ || (tally_ != Tally::Counter && tally_ != Tally::List)) return;
    const std::optional<PlayersCall> call = NextPlayersCall(
        tally_ == Tally::Counter, wantedIds_, wantedCapacity_, keptIds_, keptCapacity_);
    if (!call) return;
    const char* method = call->path.find(':') == std::string::npos ? "PATCH" : "POST";
    playersOnWire_ = true;
    sdk_.Send(method, call->path, call->body, Delivery::UntilAnswered,
              [this, call = *call, what = method + (' ' + call->path)](const SdkAnswer& answer) {
                  playersOnWire_ = false;
                  if (!answer.Ok() && !(answer.outcome == SdkAnswer::Outcome::Answered &&
                                        answer.status == call.alsoDone)) {
                      // The fleet refuses what it asked for: counting stops, not the server.
                      Refused(what, answer);
                      tally_ = Tally::None;
                      return;
                  }
                  keptIds_ = call.ids;
                  keptCapacity_ = call.capacity;
                  SendPlayers();
              });
}

void AgonesSession::CheckHealth() {
    if (ended_ || !gate_) return;
    if (gate_->Check(WatchdogGate::Clock::now(), liveness_()) != WatchdogGate::Verdict::Ping) {
        if (!healthWithheld_)
            emit notice(true, QStringLiteral("Agones: health withheld: the engine's worker or the "
                                             "status pass has not moved"));
        healthWithheld_ = true;
        return;
    }
    if (healthWithheld_) emit notice(false, QStringLiteral("Agones: health pings again"));
    healthWithheld_ = false;
    if (healthOnWire_) return;  // still waiting behind a call that must get through
    healthOnWire_ = true;
    sdk_.Send("POST", "/health", "{}", Delivery::Once, [this](const SdkAnswer& answer) {
        healthOnWire_ = false;
        // One line for a run of refusals; one that finds nobody the sdk says itself.
        const bool refused = answer.outcome != SdkAnswer::Outcome::Unreachable && !answer.Ok();
        if (refused && !healthRefused_) Refused("POST /health", answer);
        healthRefused_ = refused;
    });
}
