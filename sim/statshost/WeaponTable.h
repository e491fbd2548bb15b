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

    // The record for a weapon name, created on first sight; its address stays valid.
    const skill::WeaponRecord* Intern(std::string_view name);
    double Weight(std::uint32_t handle) const;

    // The table get_weapon_weight answers from; none means every weapon weighs 1.0.
    static void Install(const WeaponTable* table);
    static const WeaponTable* Installed();

private:
    struct Weapon {
        skill::WeaponRecord record;
        double weight;
    };
    double WeightOf(const std::string& name) const;

    std::deque<Weapon> weapons;  // handle n is weapons[n - 1]
    std::unordered_map<std::string, std::uint32_t> handles;
    std::unordered_map<std::string, double> weights;
};
