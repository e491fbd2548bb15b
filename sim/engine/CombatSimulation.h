// What the simulated players do to each other, for the event log: kills between the two sides
// with a weapon from a small table, now and then a team kill and its penalty, and the decay of
// every fighting player when a round ends. Draws from a generator of its own, so logging never
// shifts the players' comings and goings.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "GameEventLog.h"
#include "PlayerSimulation.h"
#include "SimRandom.h"

struct CombatRules {
    bool friendlyFire = true;     // ffteam above 0: team kills happen
    bool punishTeamKills = true;  // tkpunish: a team kill costs the killer a penalty
};

class CombatSimulation {
public:
    // One round of two minutes at 30 updates a second.
    static constexpr uint64_t kRoundTicks = 3600;
    // Each fighting player kills about once in 20 s: 600 updates over the number of fighters.
    static constexpr uint32_t kKillTicksPerFighter = 600;
    // One kill in this many is a team kill, while friendly fire is on.
    static constexpr uint32_t kTeamKillOneIn = 25;

    explicit CombatSimulation(uint64_t seed) : random(seed) {}

    // One engine update of match `match` (a new match starts a new round).
    void Step(uint64_t match, const std::vector<SimPlayer>& players, const CombatRules& rules,
              GameEventLog& log);

private:
    std::string_view Weapon(bool teamKill);

    SimRandom random;
    uint64_t match = 0;
    uint64_t roundTicks = 0;
    std::vector<const SimPlayer*> sides[2];
};
