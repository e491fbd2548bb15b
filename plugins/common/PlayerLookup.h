// Finding an event's player in the host's table, and the one log line the plug-ins write.
#pragma once

#include "HostRecords.h"

namespace skill {

template <typename HostOptions>
PlayerStats* lookup_player(const HostOptions* options, const HostState* state,
                           const PlayerRef* player) {
    // Only exactly 1 selects the alternate key; the host may keep other values there.
    const PlayerKey key = options->use_alt_key == 1 ? player->alt_key : player->key;
    return static_cast<PlayerStats*>(g_hash_table_lookup(state->players, key));
}

void log_message(const char* format, ...) G_GNUC_PRINTF(1, 2);

}  // namespace skill
