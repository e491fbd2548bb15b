// A minimal host for one plug-in: loads it, owns its table, records and options, keeps its logs.
#pragma once

#include "HostRecords.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace skilltest {

using skill::PlayerStats;

// What get_weapon_weight (defined in SkillPluginTest.cpp) answers and what it was asked.
inline double weaponWeight = 1.0;
inline std::vector<std::uint32_t> weightCalls;

inline skill::PlayerRef Ref(unsigned key, const char* group = "red", unsigned altKey = 0) {
    return {GUINT_TO_POINTER(key), group, nullptr, GUINT_TO_POINTER(altKey)};
}

struct Ratings {
    double skill, weighted;
    bool operator==(const Ratings&) const = default;
};
inline Ratings Of(const PlayerStats& stats) {
    return {stats.skill, stats.weighted_skill};
}

struct SkillHarness {
    explicit SkillHarness(const std::string& plugin) : layoutB(plugin == "quorvex_skill") {
        const std::string path = std::string(SKILL_PLUGIN_DIR) + "/" + plugin + ".so";
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) throw std::runtime_error(dlerror());
        init = reinterpret_cast<decltype(init)>(dlsym(module, "skill_plugin_init"));
        event = reinterpret_cast<decltype(event)>(dlsym(module, "skill_plugin_event"));
        finish = reinterpret_cast<decltype(finish)>(dlsym(module, "skill_plugin_finish"));
        state.players = g_hash_table_new(g_direct_hash, g_direct_equal);
        weaponWeight = 1.0;
        weightCalls.clear();
        logHandler = g_log_set_handler(nullptr, GLogLevelFlags(G_LOG_LEVEL_MASK), &OnLog, &logs);
    }
    ~SkillHarness() {
        g_log_remove_handler(nullptr, logHandler);
        g_hash_table_destroy(state.players);
        dlclose(module);
    }

    // A record under tableKey whose host-owned bytes are all 0xA5.
    PlayerStats& Insert(unsigned tableKey, double skill = 1000.0, double weighted = 1000.0) {
        PlayerStats& stats = records.emplace_back();
        std::memset(stats.host_fields, 0xA5, sizeof stats.host_fields);
        stats.skill = skill;
        stats.weighted_skill = weighted;
        g_hash_table_insert(state.players, GUINT_TO_POINTER(tableKey), &stats);
        return stats;
    }
    void SetUseAltKey(std::int32_t value) { optionsA.use_alt_key = optionsB.use_alt_key = value; }
    void* Options() { return layoutB ? static_cast<void*>(&optionsB) : &optionsA; }
    void Init(unsigned key) { init(Options(), &state, GUINT_TO_POINTER(key)); }
    void Event(std::int32_t code, skill::PlayerRef first, skill::PlayerRef second) {
        skill::layout_a::GameEvent a{code, {}, &weapon[0]};
        skill::layout_b::GameEvent b{code, {}, &weapon[0]};
        event(Options(), &state, layoutB ? static_cast<void*>(&b) : &a, &first, &second);
    }

    // Each log line as "domain level message", the null domain as "(null)".
    static void OnLog(const gchar* domain, GLogLevelFlags level, const gchar* text, gpointer logs) {
        static_cast<std::vector<std::string>*>(logs)->push_back(
            std::string(domain ? domain : "(null)") + " " + std::to_string(level) + " " + text);
    }

    const bool layoutB;
    void* module = nullptr;
    void (*init)(void*, void*, gpointer) = nullptr;
    void (*event)(void*, void*, void*, void*, void*) = nullptr;
    void (*finish)() = nullptr;
    skill::WeaponRecord weapon[2]{{0xC0FFEE01u}, {0xDEADBEEFu}};  // more after the first field
    skill::layout_a::HostOptions optionsA{};
    skill::layout_b::HostOptions optionsB{};
    skill::HostState state{};
    std::deque<PlayerStats> records;
    std::vector<std::string> logs;
    guint logHandler = 0;
};

}  // namespace skilltest
