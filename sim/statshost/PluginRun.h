// Runs one plug-in over a log: the player table and records in the plug-in's layout, init for
// every player, every event in order, then finish.
#pragma once

#include "EventLog.h"
#include "PluginModule.h"

#include <cstdint>
#include <vector>

struct PlayerRating {
    std::uint32_t player;  // index into the log's players
    double skill;
    double weightedSkill;
};

class PluginRun {
public:
    PluginRun(const PluginModule& module, std::int32_t useAltKey);

    // Ratings in the log's player order.
    std::vector<PlayerRating> Run(const EventLog& log) const;

private:
    const PluginModule& module;
    std::int32_t useAltKey;
};
