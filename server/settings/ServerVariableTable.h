// The server variables this program knows, with their defaults, and the send-bandwidth presets.
#pragma once

#include <array>
#include <cstdint>

#include "SettingsValues.h"

enum class VariableKind : int32_t { Text = 0, Real = 1, Integer = 2, Switch = 3 };

struct ServerVariable {
    const char* name;
    VariableKind kind;
    const char* defaultText;  // Text rows: the value as it goes on a command line, quotes included
    float defaultNumber;      // every other row
    int32_t SettingsValues::* integerField = nullptr;  // Integer and Switch rows with a store field
    float SettingsValues::* realField = nullptr;       // Real rows with a store field
};

inline constexpr int kServerVariableCount = 37;
extern const std::array<ServerVariable, kServerVariableCount> ServerVariableTable;

inline constexpr int kBandwidthPresetCount = 6;
inline constexpr int kCustomBandwidthIndex = 5;
inline constexpr int kDefaultBandwidthIndex = 2;
extern const std::array<int32_t, kBandwidthPresetCount> BandwidthPresetTable;
extern const std::array<const char*, kBandwidthPresetCount> BandwidthPresetNames;

// A bandwidth index from a configuration file may be anything; outside the table it means the
// default preset, so no lookup ever leaves the table.
constexpr int NormalizedBandwidthIndex(int32_t index) {
    return index >= 0 && index < kBandwidthPresetCount ? index : kDefaultBandwidthIndex;
}
