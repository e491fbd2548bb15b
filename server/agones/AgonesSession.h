// What the server tells Agones over a run, through the SDK sidecar:
// - once the game server runs: the GameServer record is read (to learn whether the fleet keeps a
//   `players` counter or list), the labels `world` and `version` are set (Agones prefixes them
//   with "agones.dev/sdk-"), then Ready;
// - Health every period, only when the liveness gate sees both the worker and the status pass
//   move; a hung engine or a stuck loop withholds it, and Agones marks the server Unhealthy;
// - with each status: the world label when the world changes, and the players, when the fleet
//   declared a `players` counter (count and capacity set) or list (client ids added and removed);
// - Shutdown when the run ends, however it ends, if anything was told before.
//
// Interface: make it before the server starts; ServerRunning() once the game server runs,
// StatusSeen() on every status, End() when the run ends (any number of times), then
// WaitForDelivery() before the process exits. Notices for the log come as `notice`.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AgonesSdk.h"
#include "WatchdogGate.h"

// What the server is, as Agones is told it.
struct AgonesFacts {
    std::string world;
    std::string version;
    std::vector<int32_t> playerIds;
    int maxPlayers = 0;
};

class AgonesSession : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kHealthPeriod{2000};

    AgonesSession(uint16_t port, std::function<Liveness()> liveness,
                  std::chrono::milliseconds healthPeriod = kHealthPeriod,
                  AgonesSdk::Timing timing = {}, QObject* parent = nullptr);

    void ServerRunning(const AgonesFacts& facts);
    void StatusSeen(const AgonesFacts& facts);
    void End();
    // Runs the event loop until every call is answered or given up, for at most `limit`;
    // answers whether everything went out.
    bool WaitForDelivery(std::chrono::milliseconds limit);

signals:
    void notice(bool warning, const QString& text);

private:
    enum class Tally { Unknown, None, Counter, List };

    void Put(const char* method, std::string path, std::string body,
             std::function<void()> onOk = {});
    void LearnTally(const SdkAnswer& answer);
    void SetLabel(const char* key, const std::string& value);
    void CheckHealth();
    void SendPlayers();
    void Refused(const std::string& what, const SdkAnswer& answer);

    AgonesSdk sdk_;
    std::function<Liveness()> liveness_;
    std::chrono::milliseconds healthPeriod_;
    std::optional<WatchdogGate> gate_;
    QTimer healthTimer_;
    bool healthOnWire_ = false;
    bool healthWithheld_ = false;
    bool healthRefused_ = false;
    bool told_ = false;
    bool ended_ = false;
    std::string world_;
    Tally tally_ = Tally::Unknown;
    // The players as Agones should see them, and as it last confirmed them.
    std::set<int32_t> wantedIds_, keptIds_;
    int wantedCapacity_ = 0, keptCapacity_ = -1;
    bool playersOnWire_ = false;
};
