#include "PlayerSimulation.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view kNames[] = {
    "Ashgrove", "Bramble",  "Cinderfell", "Dunmore",  "Ember",    "Fallow", "Greyhawk",  "Hollin",
    "Ironmere", "Juniper",  "Kestrel",    "Larkspur", "Mossbank", "Nettle", "Oakhart",   "Pellow",
    "Quillan",  "Rookwood", "Sable",      "Thistle",  "Umber",    "Vantry", "Wrenfield", "Yarrow"};
constexpr uint32_t kNameCount = sizeof kNames / sizeof kNames[0];

// Chances per engine update (one every 33 ms): a gap is filled within a second or two, and the
// full server still sees a change every few seconds.
constexpr uint32_t kJoinOneIn = 20;
constexpr uint32_t kLeaveOneIn = 20;
constexpr uint32_t kChurnOneIn = 900;
constexpr uint32_t kChangeOneIn = 120;
constexpr uint32_t kReshuffleOneIn = 1800;

}  // namespace

PlayerSimulation::PlayerSimulation(uint64_t seed) : events(seed), jitter(seed ^ 0x5EEDF00Dull) {}

void PlayerSimulation::SetTarget(int count) {
    target = std::clamp(count, 0, kMaxPlayers);
}

void PlayerSimulation::SetCapacity(int maxPlayers) {
    capacity = std::clamp(maxPlayers, 1, kMaxPlayers);
}

const SimPlayer* PlayerSimulation::Find(int32_t clientId) const {
    for (const SimPlayer& player : players) {
        if (player.clientId == clientId) return &player;
    }
    return nullptr;
}

SimPlayer* PlayerSimulation::FindMutable(int32_t clientId) {
    return const_cast<SimPlayer*>(std::as_const(*this).Find(clientId));
}

int32_t PlayerSimulation::NextClientId() {
    // The host keys its roster by the low 16 bits, so no two live clients may share them.
    for (;;) {
        lastClientId = lastClientId >= 0x7FFFFFFE ? 1 : lastClientId + 1;
        bool clash = std::any_of(players.begin(), players.end(), [&](const SimPlayer& player) {
            return (player.clientId & 0xFFFF) == (lastClientId & 0xFFFF);
        });
        if (!clash && (lastClientId & 0xFFFF) != 0) return lastClientId;
    }
}

std::string PlayerSimulation::UniqueName(std::string_view wanted) {
    std::string base(wanted.empty() ? kNames[events.Below(kNameCount)] : wanted);
    if (base.size() > EngineOutbox::kMaxNameLength) base.resize(EngineOutbox::kMaxNameLength);
    auto taken = [&](const std::string& name) {
        return std::any_of(players.begin(), players.end(),
                           [&](const SimPlayer& player) { return player.name == name; });
    };
    std::string name = base;
    for (int suffix = 2; taken(name); ++suffix) {
        std::string tail = std::to_string(suffix);
        name = base.substr(0, EngineOutbox::kMaxNameLength - tail.size()) + tail;
    }
    return name;
}

uint32_t PlayerSimulation::SmallerSide() const {
    auto count = [&](uint32_t team) {
        return std::count_if(players.begin(), players.end(),
                             [&](const SimPlayer& player) { return player.teamLabelId == team; });
    };
    return count(kFirstTeamLabel + 1) < count(kFirstTeamLabel) ? kFirstTeamLabel + 1
                                                               : kFirstTeamLabel;
}

void PlayerSimulation::Announce(const std::vector<int32_t>& changed, EngineOutbox& outbox) const {
    std::vector<PlayerUpdateRecord> records;
    for (int32_t clientId : changed) {
        if (const SimPlayer* player = Find(clientId)) {
            records.push_back(PlayerUpdateRecord{player->clientId, player->name,
                                                 player->teamLabelId, player->specialtyLabelId});
        }
    }
    if (!records.empty()) outbox.PlayerUpdate(records);
}

bool PlayerSimulation::Join(std::string_view name, EngineOutbox& outbox) {
    if (static_cast<int>(players.size()) >= capacity) return false;
    SimPlayer player{NextClientId(), UniqueName(name), SmallerSide(),
                     kFirstSpecialtyLabel + static_cast<int32_t>(events.Below(kSpecialtyCount)),
                     0.030 + 0.150 * events.Unit()};
    players.push_back(player);
    outbox.PlayerAdded(player.clientId);
    Announce({player.clientId}, outbox);
    outbox.ConsoleLine(player.name + " joined the game");
    return true;
}

bool PlayerSimulation::Remove(int32_t clientId, std::string_view reason, EngineOutbox& outbox) {
    auto it = std::find_if(players.begin(), players.end(),
                           [&](const SimPlayer& player) { return player.clientId == clientId; });
    if (it == players.end()) return false;
    std::string line = it->name;
    line += ' ';
    line += reason;
    players.erase(it);
    outbox.PlayerRemoved(clientId);
    outbox.ConsoleLine(line);
    return true;
}

void PlayerSimulation::Step(EngineOutbox& outbox) {
    const int count = static_cast<int>(players.size());
    const int wanted = std::min(target, capacity);
    if (count < wanted && events.OneIn(kJoinOneIn)) {
        Join({}, outbox);
        return;
    }
    if (count == 0) return;
    if ((count > wanted && events.OneIn(kLeaveOneIn)) || events.OneIn(kChurnOneIn)) {
        Remove(players[events.Below(count)].clientId, "left the game", outbox);
        return;
    }
    if (events.OneIn(kReshuffleOneIn)) {
        // A new round: everyone is dealt a side afresh, one update message for all.
        std::vector<int32_t> changed;
        for (SimPlayer& player : players) {
            player.teamLabelId = kFirstTeamLabel + events.Below(2);
            changed.push_back(player.clientId);
        }
        Announce(changed, outbox);
        outbox.ConsoleLine("Teams reshuffled for the new round");
        return;
    }
    if (events.OneIn(kChangeOneIn)) {
        SimPlayer& player = players[events.Below(count)];
        switch (events.Below(3)) {
            case 0: {
                std::string old = player.name;
                player.name.clear();
                player.name = UniqueName(kNames[events.Below(kNameCount)]);
                outbox.ConsoleLine(old + " is now known as " + player.name);
                break;
            }
            case 1:
                player.teamLabelId = player.teamLabelId == kFirstTeamLabel ? kFirstTeamLabel + 1
                                     : player.teamLabelId == kFirstTeamLabel + 1
                                         ? (events.OneIn(4) ? kSpectatorTeamLabel : kFirstTeamLabel)
                                         : kFirstTeamLabel;
                break;
            default:
                player.specialtyLabelId =
                    kFirstSpecialtyLabel + static_cast<int32_t>(events.Below(kSpecialtyCount));
        }
        Announce({player.clientId}, outbox);
    }
}

bool PlayerSimulation::Ping(int32_t clientId, float& seconds) {
    SimPlayer* player = FindMutable(clientId);
    if (player == nullptr) return false;
    seconds = static_cast<float>(player->basePing * (0.85 + 0.30 * jitter.Unit()));
    return true;
}
