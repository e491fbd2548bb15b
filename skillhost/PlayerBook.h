// Every player this run has met, by KEY, and each one's record in the host's layout for every
// plug-in: the records the plug-ins rate, at addresses that never move.
#pragma once

#include "HostRecords.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class PlayerBook {
public:
    struct Player {
        std::uint32_t key;
        std::uint32_t altKey;
        std::string name;  // as last listed
    };

    explicit PlayerBook(std::size_t plugins) : records(plugins) {}

    // The player's index, the player added when new.
    std::uint32_t Meet(std::uint32_t key);
    std::optional<std::uint32_t> Find(std::uint32_t key) const;

    std::size_t Size() const { return players.size(); }
    Player& operator[](std::uint32_t index) { return players[index]; }
    const Player& operator[](std::uint32_t index) const { return players[index]; }

    skill::PlayerStats& Stats(std::size_t plugin, std::uint32_t player) {
        return records[plugin].stats[player];
    }
    const skill::PlayerStats& Stats(std::size_t plugin, std::uint32_t player) const {
        return records[plugin].stats[player];
    }
    // Whether the record holds the player's ratings: from the plug-in's init, or from the store.
    bool Rated(std::size_t plugin, std::uint32_t player) const {
        return records[plugin].rated[player];
    }
    void SetRated(std::size_t plugin, std::uint32_t player, bool rated) {
        records[plugin].rated[player] = rated;
    }

private:
    struct PluginRecords {
        std::deque<skill::PlayerStats> stats;
        std::vector<bool> rated;
    };
    std::vector<Player> players;
    std::unordered_map<std::uint32_t, std::uint32_t> byKey;
    std::vector<PluginRecords> records;
};
