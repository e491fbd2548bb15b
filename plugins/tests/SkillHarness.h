// A minimal host for one plug-in: loads the built module, owns the table, the records and the
// options, records get_weapon_weight calls and GLib log lines.
#pragma once

#include "HostRecords.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace skilltest {

using skill::PlayerRef;
using skill::PlayerStats;

struct LogLine {
    std::string domain;  // "(null)" for the null domain
    GLogLevelFlags level;
    std::string message;
};

// What get_weapon_weight answers and what it was asked.
struct WeaponWeightFake {
    double weight = 1.0;
    std::vector<std::uint32_t> calls;
};
WeaponWeightFake& WeaponWeight();

// A host weapon record with more after the first field, which the plug-ins must not read.
struct TestWeapon {
    skill::WeaponRecord record;
    std::uint32_t other;
};

class SkillHarness {
public:
    explicit SkillHarness(const std::string& plugin);
    ~SkillHarness();
    SkillHarness(const SkillHarness&) = delete;
    SkillHarness& operator=(const SkillHarness&) = delete;

    // A PlayerStats in the table under tableKey, with both ratings set.
    PlayerStats& Insert(unsigned tableKey, double skill = 1000.0, double weighted = 1000.0);
    static PlayerRef Ref(unsigned key, const char* group, unsigned altKey = 0);

    void SetUseAltKey(std::int32_t value);
    void Init(unsigned key);
    void Event(std::int32_t code, PlayerRef first, PlayerRef second);
    void Finish();

    TestWeapon weapon{{0xC0FFEE01u}, 0xDEADBEEFu};
    const std::vector<LogLine>& Logs() const { return logs; }
    bool LayoutB() const { return layoutB; }

private:
    static void OnLog(const gchar* domain, GLogLevelFlags level, const gchar* message,
                      gpointer self);

    void* module = nullptr;
    void (*init)(void*, skill::HostState*, skill::PlayerKey) = nullptr;
    void (*event)(void*, skill::HostState*, void*, PlayerRef*, PlayerRef*) = nullptr;
    void (*finish)() = nullptr;
    bool layoutB = false;
    skill::layout_a::HostOptions optionsA{};
    skill::layout_b::HostOptions optionsB{};
    skill::HostState state{};
    std::deque<PlayerStats> records;
    std::vector<LogLine> logs;
    guint logHandler = 0;
};

// Both values, compared bit for bit except that -0.0 and 0.0 count as equal.
struct Ratings {
    double skill;
    double weighted;
    bool operator==(const Ratings&) const = default;
};
inline Ratings Of(const PlayerStats& stats) {
    return {stats.skill, stats.weighted_skill};
}

}  // namespace skilltest
