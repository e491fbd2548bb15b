#include "CombatSimulation.h"

namespace {

struct WeaponShare {
    std::string_view name;
    uint32_t share;  // out of 20
};

// The weapons of the sample weapon table, rifles the most common.
constexpr WeaponShare kWeapons[] = {
    {"rifle", 8}, {"shotgun", 4}, {"sniper", 3}, {"knife", 2}, {"grenade", 3}};

}  // namespace

std::string_view CombatSimulation::Weapon(bool teamKill) {
    // Half the team kills are stray grenades.
    if (teamKill && random.OneIn(2)) return "grenade";
    uint32_t draw = random.Below(20);
    for (const WeaponShare& weapon : kWeapons) {
        if (draw < weapon.share) return weapon.name;
        draw -= weapon.share;
    }
    return kWeapons[0].name;
}

void CombatSimulation::Step(uint64_t newMatch, const std::vector<SimPlayer>& players,
                            const CombatRules& rules, GameEventLog& log) {
    if (newMatch != match) {
        match = newMatch;
        roundTicks = 0;
    }
    for (auto& side : sides) side.clear();
    for (const SimPlayer& player : players) {
        const uint32_t side = player.teamLabelId - PlayerSimulation::kFirstTeamLabel;
        if (side < 2) sides[side].push_back(&player);
    }
    if (++roundTicks >= kRoundTicks) {
        roundTicks = 0;
        for (const auto& side : sides) {
            for (const SimPlayer* player : side) log.Decay(*player);
        }
        return;
    }
    const auto fighters = static_cast<uint32_t>(sides[0].size() + sides[1].size());
    if (sides[0].empty() || sides[1].empty() || random.Below(kKillTicksPerFighter) >= fighters) {
        return;
    }
    uint32_t pick = random.Below(fighters);
    const uint32_t killerSide = pick < sides[0].size() ? 0 : 1;
    if (killerSide == 1) pick -= static_cast<uint32_t>(sides[0].size());
    const auto& own = sides[killerSide];
    const auto& other = sides[1 - killerSide];
    const SimPlayer& killer = *own[pick];
    if (rules.friendlyFire && own.size() > 1 && random.OneIn(kTeamKillOneIn)) {
        // Anyone on the killer's side but the killer.
        uint32_t victim = random.Below(static_cast<uint32_t>(own.size() - 1));
        if (victim >= pick) ++victim;
        const std::string_view weapon = Weapon(true);
        log.Kill(killer, *own[victim], weapon);
        if (rules.punishTeamKills) log.TeamKillPenalty(killer, *own[victim], weapon);
        return;
    }
    log.Kill(killer, *other[random.Below(static_cast<uint32_t>(other.size()))], Weapon(false));
}
