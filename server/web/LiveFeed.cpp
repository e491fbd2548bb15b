#include "LiveFeed.h"

#include <QTimer>

#include "WebJson.h"

LiveFeed::LiveFeed(ServerCore& core, Publish publish, Clock clock, QObject* parent)
    : QObject(parent), core_(core), publish_(std::move(publish)), clock_(std::move(clock)) {
    connect(&core, &ServerCore::consoleLine, this, [this](const ConsoleEntry& entry) {
        if (pendingConsole_.isEmpty() && !std::exchange(flushQueued_, true))
            QTimer::singleShot(0, this, &LiveFeed::Flush);
        pendingConsole_.append(web_json::ConsoleLine(entry));
    });
    connect(&core, &ServerCore::playerJoined, this, [this](const PlayerRecord& player) {
        Queue(web_json::Event("joined", web_json::Player(core_, player, std::time(nullptr))));
    });
    connect(&core, &ServerCore::playerLeft, this, [this](const PlayerRecord& player) {
        Queue(web_json::Event("left", web_json::Player(core_, player, std::time(nullptr))));
    });
    connect(&core, &ServerCore::rosterRefreshed, this,
            [this](const std::vector<PlayerRecord>&, bool changed) { OnRoster(changed); });
    connect(&core, &ServerCore::statusRefreshed, this, &LiveFeed::OnStatus);
    connect(&core, &ServerCore::healthSampled, this, [this](const HealthSample& sample) {
        Queue(web_json::Event("health", web_json::Health(sample)));
    });
    connect(&core, &ServerCore::settingChanged, this, [this](Setting setting) {
        Queue(web_json::Event("setting", web_json::Setting(core_, FieldOf(setting))));
    });
    connect(&core, &ServerCore::rotationChanged, this,
            [this] { Queue(web_json::Event("rotation", web_json::Rotation(core_.Rotation()))); });
    connect(&core, &ServerCore::configurationSaved, this, [this](bool written) {
        Queue(web_json::Event("saved", QJsonObject{{"written", written}}));
    });
    // Only that they changed: the list is for moderators, who fetch it; every session hears this.
    connect(&core, &ServerCore::bansChanged, this,
            [this] { Queue(web_json::Event("bans", QJsonObject{})); });
    connect(&core, &ServerCore::runEnded, this, [this] { OnStatus(core_.Status()); });
}

void LiveFeed::CloseConsoleBatch() {
    if (pendingConsole_.isEmpty()) return;
    pending_.push_back(std::make_shared<const std::string>(
        web_json::Event("console", std::exchange(pendingConsole_, {}))));
}

void LiveFeed::Queue(std::string message) {
    CloseConsoleBatch();
    pending_.push_back(std::make_shared<const std::string>(std::move(message)));
    // Everything one status pass says leaves together.
    if (!std::exchange(flushQueued_, true)) QTimer::singleShot(0, this, &LiveFeed::Flush);
}

void LiveFeed::Flush() {
    flushQueued_ = false;
    CloseConsoleBatch();
    if (pending_.empty()) return;
    publish_(std::exchange(pending_, {}));
}

void LiveFeed::OnRoster(bool changed) {
    const int64_t now = clock_();
    if (!changed && now - lastPlayersMs_ < kRefreshMs) return;
    lastPlayersMs_ = now;
    Queue(web_json::Event("players", web_json::Players(core_, std::time(nullptr))));
}

void LiveFeed::OnStatus(const ServerStatus& status) {
    const int64_t now = clock_();
    const bool worldChanged = status.world != lastWorld_;
    const bool changed = worldChanged || status.state != lastState_ ||
                         status.players != lastPlayers_ || status.maxPlayers != lastMaxPlayers_;
    if (changed || now - lastStatusMs_ >= kRefreshMs) {
        lastStatusMs_ = now;
        lastState_ = status.state;
        lastWorld_ = status.world;
        lastPlayers_ = status.players;
        lastMaxPlayers_ = status.maxPlayers;
        Queue(web_json::Event("status", web_json::Status(status)));
        if (worldChanged) Queue(web_json::Event("rotation", web_json::Rotation(core_.Rotation())));
    }
}
