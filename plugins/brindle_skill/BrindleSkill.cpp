// Elo update on a base-10 curve with a 1000-point scale and a step of 20: the first player of a
// kill event wins, the second loses, and the second rating always follows the first.
#include "SkillPlugin.h"

#include <cmath>
#include <cstring>

using namespace skill;
using namespace skill::layout_a;

namespace {

constexpr double kBase = 10.0;
constexpr double kScale = 0.001;
constexpr double kStep = 20.0;

void RateKill(const HostOptions* options, const HostState* state, const PlayerRef* first,
              const PlayerRef* second) {
    PlayerStats* a = lookup_player(options, state, first);
    PlayerStats* b = lookup_player(options, state, second);
    if (a == nullptr || b == nullptr) return;
    // Same-group kills are unrated; testing that first spares the power, which has no effects.
    if (std::strcmp(first->group, second->group) == 0) return;
    // The second player's expected score, which is what the winner takes from it.
    const double p = 1.0 / (std::pow(kBase, (a->skill - b->skill) * kScale) + 1.0);
    const double d = p * kStep;
    a->skill = a->skill + d;
    b->skill = b->skill - d;
    a->weighted_skill = a->skill;
    b->weighted_skill = b->skill;
}

}  // namespace

SKILL_PLUGIN_EXPORT void skill_plugin_init(HostOptions*, HostState* state, PlayerKey key) {
    InitPlayer(state, key);
}

SKILL_PLUGIN_EXPORT void skill_plugin_event(HostOptions* options, HostState* state,
                                            GameEvent* event, PlayerRef* first, PlayerRef* second) {
    if (event->code == kKillEvent) RateKill(options, state, first, second);
}

SKILL_PLUGIN_EXPORT void skill_plugin_finish() {}
