// Simulated clients: they join, change name, team and specialty, and leave at random times
// drawn from a seeded generator, and every change goes to the outbox as engine messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "EngineOutbox.h"
#include "SimRandom.h"

struct SimPlayer {
    int32_t clientId;
    std::string name;
    uint32_t teamLabelId;
    int32_t specialtyLabelId;
    double basePing;  // seconds
};

class PlayerSimulation {
public:
    static constexpr uint32_t kFirstTeamLabel = 1070;  // 1070, 1071: the two sides
    static constexpr uint32_t kSpectatorTeamLabel = 1072;
    static constexpr uint32_t kDefaultTeamLabel = 1073;
    static constexpr int32_t kFirstSpecialtyLabel = 1080;  // 1080..1087
    static constexpr int32_t kSpecialtyCount = 8;
    static constexpr int kMaxPlayers = 256;

    explicit PlayerSimulation(uint64_t seed);

    void SetTarget(int count);
    int Target() const { return target; }
    void SetCapacity(int maxPlayers);
    int Capacity() const { return capacity; }

    // One engine update's worth of comings and goings.
    void Step(EngineOutbox& outbox);
    // False when the server is full. An empty name draws one.
    bool Join(std::string_view name, EngineOutbox& outbox);
    bool Remove(int32_t clientId, std::string_view reason, EngineOutbox& outbox);

    const SimPlayer* Find(int32_t clientId) const;
    const std::vector<SimPlayer>& Players() const { return players; }
    size_t Count() const { return players.size(); }
    // A plausible ping that wanders around the player's own base; false for an unknown client.
    bool Ping(int32_t clientId, float& seconds);

private:
    int32_t NextClientId();
    std::string UniqueName(std::string_view wanted);
    uint32_t SmallerSide() const;
    void Announce(const std::vector<int32_t>& changed, EngineOutbox& outbox) const;
    SimPlayer* FindMutable(int32_t clientId);

    SimRandom events;
    SimRandom jitter;  // pings on their own stream, so queries never shift the events
    int target = 8;
    int capacity = 16;
    int32_t lastClientId = 0;
    std::vector<SimPlayer> players;
};
