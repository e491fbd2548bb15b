// What the live sockets hear: the core's signals turned into JSON events, built once and handed
// to the network thread in one batch per turn of the event loop. Status and the player list go
// out when they change and once a second (pings, rates); console lines, joins, leaves, the
// core's health samples, changed settings, the rotation, saves and a note that the bans changed
// as they come. User-interface thread.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ServerCore.h"

class LiveFeed : public QObject {
    Q_OBJECT

public:
    using Publish = std::function<void(std::vector<std::shared_ptr<const std::string>>)>;
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr int64_t kRefreshMs = 1000;

    LiveFeed(ServerCore& core, Publish publish, Clock clock, QObject* parent = nullptr);

private:
    void Queue(std::string message);
    void CloseConsoleBatch();
    void Flush();
    void OnStatus(const ServerStatus& status);
    void OnRoster(bool changed);

    ServerCore& core_;
    Publish publish_;
    Clock clock_;
    std::vector<std::shared_ptr<const std::string>> pending_;
    QJsonArray pendingConsole_;  // console lines travel as one event per batch
    bool flushQueued_ = false;
    int64_t lastStatusMs_ = 0, lastPlayersMs_ = 0;
    ServerState lastState_ = ServerState::Starting;
    std::string lastWorld_;
    int lastPlayers_ = -1, lastMaxPlayers_ = -1;
};
