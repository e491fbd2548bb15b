#include "SkillHarness.h"

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

extern "C" double get_weapon_weight(std::uint32_t weapon) {
    skilltest::WeaponWeight().calls.push_back(weapon);
    return skilltest::WeaponWeight().weight;
}

namespace skilltest {

WeaponWeightFake& WeaponWeight() {
    static WeaponWeightFake fake;
    return fake;
}

SkillHarness::SkillHarness(const std::string& plugin) : layoutB(plugin == "quorvex_skill") {
    const std::string path = std::string(SKILL_PLUGIN_DIR) + "/" + plugin + ".so";
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) throw std::runtime_error(dlerror());
    init = reinterpret_cast<decltype(init)>(dlsym(module, "skill_plugin_init"));
    event = reinterpret_cast<decltype(event)>(dlsym(module, "skill_plugin_event"));
    finish = reinterpret_cast<decltype(finish)>(dlsym(module, "skill_plugin_finish"));
    if (init == nullptr || event == nullptr || finish == nullptr) {
        throw std::runtime_error("missing export in " + path);
    }
    // Bytes the plug-ins must not care about.
    std::memset(optionsA.host_fields, 0x5A, sizeof optionsA.host_fields);
    std::memset(optionsB.host_fields, 0x5A, sizeof optionsB.host_fields);
    state.players = g_hash_table_new(g_direct_hash, g_direct_equal);
    WeaponWeight() = {};
    logHandler = g_log_set_handler(
        nullptr,
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
        &SkillHarness::OnLog, this);
}

SkillHarness::~SkillHarness() {
    g_log_remove_handler(nullptr, logHandler);
    g_hash_table_destroy(state.players);
    dlclose(module);
}

void SkillHarness::OnLog(const gchar* domain, GLogLevelFlags level, const gchar* message,
                         gpointer self) {
    static_cast<SkillHarness*>(self)->logs.push_back(
        {domain == nullptr ? "(null)" : domain, level, message});
}

PlayerStats& SkillHarness::Insert(unsigned tableKey, double skill, double weighted) {
    PlayerStats& stats = records.emplace_back();
    std::memset(stats.host_fields, 0xA5, sizeof stats.host_fields);
    stats.skill = skill;
    stats.weighted_skill = weighted;
    g_hash_table_insert(state.players, GUINT_TO_POINTER(tableKey), &stats);
    return stats;
}

PlayerRef SkillHarness::Ref(unsigned key, const char* group, unsigned altKey) {
    return {GUINT_TO_POINTER(key), group, nullptr, GUINT_TO_POINTER(altKey)};
}

void SkillHarness::SetUseAltKey(std::int32_t value) {
    optionsA.use_alt_key = value;
    optionsB.use_alt_key = value;
}

void SkillHarness::Init(unsigned key) {
    init(layoutB ? static_cast<void*>(&optionsB) : &optionsA, &state, GUINT_TO_POINTER(key));
}

void SkillHarness::Event(std::int32_t code, PlayerRef first, PlayerRef second) {
    const skill::WeaponRecord* record = &weapon.record;
    if (layoutB) {
        skill::layout_b::GameEvent e{};
        e.code = code;
        e.weapon = record;
        event(&optionsB, &state, &e, &first, &second);
    } else {
        skill::layout_a::GameEvent e{};
        e.code = code;
        e.weapon = record;
        event(&optionsA, &state, &e, &first, &second);
    }
}

void SkillHarness::Finish() {
    finish();
}

}  // namespace skilltest
