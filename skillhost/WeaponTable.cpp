#include "WeaponTable.h"

#include "HostError.h"
#include "LogLine.h"
#include "TextLines.h"

namespace {
const WeaponTable* installed = nullptr;
}

void WeaponTable::ReadWeights(const std::string& path) {
    TextLines lines(path);
    std::vector<std::string_view> tokens;
    while (lines.Next(tokens)) {
        if (tokens.size() != 2) {
            throw HostError::AtLine(path, lines.LineNumber(), "expected \"WEAPON WEIGHT\"");
        }
        const std::optional<double> weight = TextLines::ParseReal(tokens[1]);
        if (!weight || *weight < 0.0) {
            throw HostError::AtLine(
                path, lines.LineNumber(),
                "weight must be a number, zero or more: " + std::string(tokens[1]));
        }
        if (!weights.emplace(std::string(tokens[0]), *weight).second) {
            throw HostError::AtLine(path, lines.LineNumber(),
                                    "weapon listed twice: " + std::string(tokens[0]));
        }
    }
}

const skill::WeaponRecord* WeaponTable::Intern(std::string_view name) {
    if (const auto it = handles.find(name); it != handles.end()) {
        return &weapons[it->second - 1].record;
    }
    if (weapons.size() == kMaxWeapons) {
        throw LogLineError("more than " + std::to_string(kMaxWeapons) + " weapons");
    }
    const auto handle = static_cast<std::uint32_t>(weapons.size() + 1);
    const auto it = handles.emplace(std::string(name), handle).first;
    weapons.push_back({{handle}, WeightOf(it->first), &it->first});
    return &weapons.back().record;
}

double WeaponTable::WeightOf(const std::string& name) const {
    const auto it = weights.find(name);
    return it == weights.end() ? kDefaultWeight : it->second;
}

double WeaponTable::Weight(std::uint32_t handle) const {
    if (handle == 0 || handle > weapons.size()) return kDefaultWeight;
    return weapons[handle - 1].weight;
}

void WeaponTable::Install(const WeaponTable* table) {
    installed = table;
}

const WeaponTable* WeaponTable::Installed() {
    return installed;
}
