// Whole-number transfers in proportion to the rating ratio, a floor of 1000 applied whenever an
// event touches a rating, penalties and decay; the second rating is scaled by the weapon weight.
#include "SkillPlugin.h"

using namespace skill;
using namespace skill::layout_b;

extern "C" double get_weapon_weight(std::uint32_t weapon);

namespace {

constexpr double kFloor = 1000.0;
constexpr double kRatioFactor = 10.0;
constexpr double kDecayScale = 0.001;
constexpr double kDecayFactor = 5.0;

void ApplyFloor(double& rating) {
    if (rating < kFloor) rating = kFloor;
}

// Floors both players' ratings in the fixed order and gives the unweighted amount.
std::uint32_t FloorAndRatio(PlayerStats* a, PlayerStats* b) {
    ApplyFloor(a->skill);
    ApplyFloor(b->skill);
    const std::uint32_t d1 = WholeAmount(b->skill / a->skill * kRatioFactor);
    ApplyFloor(a->weighted_skill);
    ApplyFloor(b->weighted_skill);
    return d1;
}

void Transfer(PlayerStats* a, PlayerStats* b, const GameEvent* event) {
    const std::uint32_t d1 = FloorAndRatio(a, b);
    const double weight = get_weapon_weight(event->weapon->value);
    const std::uint32_t d2 =
        WholeAmount(b->weighted_skill / a->weighted_skill * kRatioFactor * weight);
    a->skill += d1;
    b->skill -= d1;
    a->weighted_skill += d2;
    b->weighted_skill -= d2;
}

void Penalty(PlayerStats* a, PlayerStats* b) {
    const std::uint32_t d1 = FloorAndRatio(a, b);
    a->skill -= d1;
    a->weighted_skill -= d1;
}

// A rating found below the floor is only raised to it; the decay waits for the next event.
void Decay(double& rating) {
    if (rating < kFloor) {
        rating = kFloor;
    } else {
        rating = rating - rating * kDecayScale * kDecayFactor;
    }
}

}  // namespace

SKILL_PLUGIN_EXPORT void skill_plugin_init(HostOptions*, HostState* state, PlayerKey key) {
    InitPlayer(state, key);
}

SKILL_PLUGIN_EXPORT void skill_plugin_event(HostOptions* options, HostState* state,
                                            GameEvent* event, PlayerRef* first, PlayerRef* second) {
    switch (event->code) {
        case kKillEvent:
        case kPenaltyEvent: {
            PlayerStats* a = lookup_player(options, state, first);
            PlayerStats* b = lookup_player(options, state, second);
            if (a == nullptr || b == nullptr) return;
            if (event->code == kKillEvent) {
                Transfer(a, b, event);
            } else {
                Penalty(a, b);
            }
            break;
        }
        case kDecayEvent: {
            PlayerStats* p = lookup_player(options, state, first);
            if (p == nullptr) return;
            Decay(p->skill);
            Decay(p->weighted_skill);
            break;
        }
        default:
            break;
    }
}

SKILL_PLUGIN_EXPORT void skill_plugin_finish() {}
