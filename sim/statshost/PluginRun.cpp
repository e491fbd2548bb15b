#include "PluginRun.h"

#include <cstring>
#include <memory>

namespace {

// A host record as large as the same record of the other layout, and zero-filled. A plug-in run
// with the wrong layout then reads zeros where it looks for use_alt_key or the weapon pointer,
// never whatever lies past the end of the host's record.
template <typename Record, typename OtherLayoutRecord>
union PaddedRecord {
    PaddedRecord() { std::memset(static_cast<void*>(this), 0, sizeof *this); }
    Record record;
    OtherLayoutRecord other;  // only for its size
};

template <typename HostOptions, typename GameEvent, typename OtherOptions, typename OtherEvent>
std::vector<PlayerRating> RunInLayout(const PluginModule& module, std::int32_t useAltKey,
                                      const EventLog& log) {
    PaddedRecord<HostOptions, OtherOptions> options;
    options.record.use_alt_key = useAltKey;
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
        module.init(&options.record, &state, byAltKey ? refs[i].alt_key : refs[i].key);
    }
    for (const LoggedEvent& logged : log.events) {
        PaddedRecord<GameEvent, OtherEvent> event;
        event.record.code = logged.code;
        event.record.weapon = logged.weapon;
        module.event(&options.record, &state, &event.record, &refs[logged.first],
                     &refs[logged.second]);
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
    namespace a = skill::layout_a;
    namespace b = skill::layout_b;
    if (module.Layout() == HostLayout::B) {
        return RunInLayout<b::HostOptions, b::GameEvent, a::HostOptions, a::GameEvent>(
            module, useAltKey, log);
    }
    return RunInLayout<a::HostOptions, a::GameEvent, b::HostOptions, b::GameEvent>(module,
                                                                                   useAltKey, log);
}
