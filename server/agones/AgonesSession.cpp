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
    const std::string base =
        tally_ == Tally::Counter ? "/v1beta1/counters/players" : "/v1beta1/lists/players";
    std::string path = base, body;
    std::function<void()> kept;
    const bool newCapacity = wantedCapacity_ > 0 && wantedCapacity_ != keptCapacity_;
    const auto added = std::find_if(wantedIds_.begin(), wantedIds_.end(),
                                    [this](int32_t id) { return !keptIds_.count(id); });
    const auto removed = std::find_if(keptIds_.begin(), keptIds_.end(),
                                      [this](int32_t id) { return !wantedIds_.count(id); });
    // Answers that say the list already is as wanted count as kept.
    int alsoKept = 0;
    if (tally_ == Tally::Counter) {
        if (!newCapacity && wantedIds_.size() == keptIds_.size()) return;
        // A count over the capacity would be refused; the server's own capacity bounds it.
        std::size_t count = wantedIds_.size();
        if (wantedCapacity_ > 0) count = std::min(count, static_cast<std::size_t>(wantedCapacity_));
        body = "{\"count\":\"" + std::to_string(count) + "\"" +
               (wantedCapacity_ > 0 ? ",\"capacity\":\"" + std::to_string(wantedCapacity_) + "\""
                                    : std::string()) +
               "}";
        kept = [this, ids = wantedIds_, capacity = wantedCapacity_] {
            keptIds_ = ids;
            keptCapacity_ = capacity;
        };
    } else if (newCapacity) {
        body = "{\"capacity\":\"" + std::to_string(wantedCapacity_) + "\"}";
        kept = [this, capacity = wantedCapacity_] { keptCapacity_ = capacity; };
    } else if (added != wantedIds_.end()) {
        path += ":addValue";
        body = "{\"value\":\"" + std::to_string(*added) + "\"}";
        kept = [this, id = *added] { keptIds_.insert(id); };
        alsoKept = 409;  // already in the list
    } else if (removed != keptIds_.end()) {
        path += ":removeValue";
        body = "{\"value\":\"" + std::to_string(*removed) + "\"}";
        kept = [this, id = *removed] { keptIds_.erase(id); };
        alsoKept = 404;  // not in the list
    } else {
        return;
    }
    const bool patch = path == base;
    const std::string what = std::string(patch ? "PATCH " : "POST ") + path;
    playersOnWire_ = true;
    sdk_.Send(patch ? "PATCH" : "POST", path, body, Delivery::UntilAnswered,
              [this, what, kept, alsoKept](const SdkAnswer& answer) {
                  playersOnWire_ = false;
                  if (answer.Ok() || (answer.outcome == SdkAnswer::Outcome::Answered &&
                                      answer.status == alsoKept)) {
                      kept();
                  } else {
                      // The fleet refuses what it asked for: counting stops, not the server.
                      Refused(what, answer);
                      tally_ = Tally::None;
                      return;
                  }
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
