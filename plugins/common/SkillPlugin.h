// What the three plug-ins share: the start and finish exports and the whole-number amounts.
#pragma once

#include "PlayerLookup.h"

#include <cstdint>

namespace skill {

inline constexpr double kInitialRating = 1000.0;

// skill_plugin_init: the key is looked up as given, whatever use_alt_key holds.
inline void InitPlayer(const HostState* state, PlayerKey key) {
    auto* stats = static_cast<PlayerStats*>(g_hash_table_lookup(state->players, key));
    if (stats == nullptr) {
        log_message("Coundn't look up player");
        return;
    }
    stats->skill = kInitialRating;
    stats->weighted_skill = kInitialRating;
}

// A transfer amount: truncated toward zero and held as a 32-bit unsigned whole number. Products
// outside that range (a negative weapon weight, absurd ratios) would make the conversion undefined,
// so they are pinned to its ends: anything at or below -1 moves nothing.
inline std::uint32_t WholeAmount(double product) {
    if (!(product > -1.0)) return 0;
    if (product >= 4294967296.0) return UINT32_MAX;
    return static_cast<std::uint32_t>(product);
}

}  // namespace skill

// The three exports, with C linkage; a plug-in defines them for its own layout.
#define SKILL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
