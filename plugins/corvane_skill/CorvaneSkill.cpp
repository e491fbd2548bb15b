// Whole-number transfers in proportion to the rating ratio with a factor of 5 and a floor of 1;
// a kill within one group is a penalty on the killer instead.
#include "SkillPlugin.h"

#include <cstring>

using namespace skill;
using namespace skill::layout_a;

extern "C" double get_weapon_weight(std::uint32_t weapon);

namespace {

constexpr double kFloor = 1.0;
constexpr double kRatioFactor = 5.0;

void ApplyFloor(double& rating) {
    if (rating < kFloor) rating = kFloor;
}

void RateKill(const HostOptions* options, const HostState* state, const GameEvent* event,
              const PlayerRef* first, const PlayerRef* second) {
    PlayerStats* a = lookup_player(options, state, first);
    PlayerStats* b = lookup_player(options, state, second);
    if (a == nullptr || b == nullptr) return;
    ApplyFloor(a->skill);
    ApplyFloor(b->skill);
    const std::uint32_t d1 = WholeAmount(b->skill / a->skill * kRatioFactor);
    ApplyFloor(a->weighted_skill);
    ApplyFloor(b->weighted_skill);
    // Asked for even when the groups make this a penalty: the host sees one call per rated kill.
    const double weight = get_weapon_weight(event->weapon->value);
    const std::uint32_t d2 =
        WholeAmount(b->weighted_skill / a->weighted_skill * kRatioFactor * weight);
    if (std::strcmp(first->group, second->group) != 0) {
        a->skill += d1;
        b->skill -= d1;
        a->weighted_skill += d2;
        b->weighted_skill -= d2;
    } else {
        a->skill -= d1;
        a->weighted_skill -= d1;
    }
}

}  // namespace

SKILL_PLUGIN_EXPORT void skill_plugin_init(HostOptions*, HostState* state, PlayerKey key) {
    InitPlayer(state, key);
}

SKILL_PLUGIN_EXPORT void skill_plugin_event(HostOptions* options, HostState* state,
                                            GameEvent* event, PlayerRef* first, PlayerRef* second) {
    if (event->code == kKillEvent) RateKill(options, state, event, first, second);
}

SKILL_PLUGIN_EXPORT void skill_plugin_finish() {}
