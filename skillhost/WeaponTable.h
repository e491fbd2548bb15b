// The host's weapons: one record per weapon name seen, its handle in the record's first field,
// and the weight that get_weapon_weight answers for the handle.
#pragma once

#include "HostRecords.h"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

class WeaponTable {
public:
    static constexpr double kDefaultWeight = 1.0;

    // Lines "WEAPON WEIGHT"; weights must be zero or positive. Read before interning names.
    void ReadWeights(const std::string& path);

    // Distinct weapon names a run keeps; a log naming more is refused.
    static constexpr std::size_t kMaxWeapons = 65536;

    // The record for a weapon name, created on first sight; its address stays valid. Throws
    // LogLineError past kMaxWeapons.
    const skill::WeaponRecord* Intern(std::string_view name);
    double Weight(std::uint32_t handle) const;
    const std::string& Name(const skill::WeaponRecord* weapon) const {
        return *weapons[weapon->value - 1].name;
    }

    // The table get_weapon_weight answers from; none means every weapon weighs 1.0.
    static void Install(const WeaponTable* table);
    static const WeaponTable* Installed();

private:
    struct Weapon {
        skill::WeaponRecord record;
        double weight;
        const std::string* name;
    };
    double WeightOf(const std::string& name) const;

    std::deque<Weapon> weapons;  // handle n is weapons[n - 1]
    // Looked up by view: the name of every event is found without a copy.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>()(name);
        }
    };
    std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> handles;
    std::unordered_map<std::string, double> weights;
};
