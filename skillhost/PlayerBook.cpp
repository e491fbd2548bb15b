#include "PlayerBook.h"

std::uint32_t PlayerBook::Meet(std::uint32_t key) {
    const auto [it, added] = byKey.try_emplace(key, static_cast<std::uint32_t>(players.size()));
    if (added) {
        players.push_back({key, key, {}});
        for (PluginRecords& plugin : records) {
            plugin.stats.emplace_back();
            plugin.rated.push_back(false);
        }
    }
    return it->second;
}

std::optional<std::uint32_t> PlayerBook::Find(std::uint32_t key) const {
    const auto it = byKey.find(key);
    if (it == byKey.end()) return std::nullopt;
    return it->second;
}
