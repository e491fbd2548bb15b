#include "PluginRun.h"

#include <memory>

namespace {

template <typename HostOptions, typename GameEvent>
std::vector<PlayerRating> RunInLayout(const PluginModule& module, std::int32_t useAltKey,
                                      const EventLog& log) {
    HostOptions options{};
    options.use_alt_key = useAltKey;
    // The plug-in looks events up by alt_key exactly when use_alt_key is 1: key the table so.
    const bool byAltKey = useAltKey == 1;

    std::unique_ptr<GHashTable, decltype(&g_hash_table_destroy)> table(
        g_hash_table_new(g_direct_hash, g_direct_equal), &g_hash_table_destroy);
    skill::HostState state{table.get()};
    std::vector<skill::PlayerStats> stats(log.players.size());
    std::vector<skill::PlayerRef> refs(log.players.size());
    for (std::size_t i = 0; i < log.players.size(); ++i) {
        const LoggedPlayer& player = log.players[i];
        refs[i] = {GUINT_TO_POINTER(player.key), player.group.c_str(), nullptr,
                   GUINT_TO_POINTER(player.altKey)};
        g_hash_table_insert(table.get(), byAltKey ? refs[i].alt_key : refs[i].key, &stats[i]);
    }
    for (std::size_t i = 0; i < log.players.size(); ++i) {
        module.init(&options, &state, byAltKey ? refs[i].alt_key : refs[i].key);
    }
    for (const LoggedEvent& logged : log.events) {
        GameEvent event{};
        event.code = logged.code;
        event.weapon = logged.weapon;
        module.event(&options, &state, &event, &refs[logged.first], &refs[logged.second]);
    }
    module.finish();

    std::vector<PlayerRating> ratings;
    ratings.reserve(stats.size());
    for (std::size_t i = 0; i < stats.size(); ++i) {
        ratings.push_back({static_cast<std::uint32_t>(i), stats[i].skill, stats[i].weighted_skill});
    }
    return ratings;
}

}  // namespace

PluginRun::PluginRun(const PluginModule& module, std::int32_t useAltKey)
    : module(module), useAltKey(useAltKey) {}

std::vector<PlayerRating> PluginRun::Run(const EventLog& log) const {
    if (module.Layout() == HostLayout::B) {
        return RunInLayout<skill::layout_b::HostOptions, skill::layout_b::GameEvent>(
            module, useAltKey, log);
    }
    return RunInLayout<skill::layout_a::HostOptions, skill::layout_a::GameEvent>(module, useAltKey,
                                                                                 log);
}
