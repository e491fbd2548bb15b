// One change of a setting that the settings sheet edits, named by the setting, as the core takes it
// from any front end: the store sends it to the engine as one console command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

enum class Setting {
    // Server page: texts.
    ServerName,
    AdminName,
    AdminEmail,
    ServerWebsite,
    ServerPassword,
    RemoteAdminPassword,
    // Rules page.
    MaxPlayers,
    TimeLimit,
    NumRounds,
    TeamFlip,
    FlipRound,
    Lan,
    // Team Rules page.
    FfTeam,
    FfAllies,
    MirrorDamage,
    MirrorDamagePercent,
    TkPunish,
    NumTksToKick,
    NumCivsToKick,
    MirrorCash,
    // Advanced page.
    AllowUploads,
    LogEvents,
    Voting,
    PlayerKickVote,
    MapVote,
    KickAfkTime,
    AutoTeamBalance,
    Voip,
    ServerBandwidth,
    CustomBandwidth,
    ForceTeamBalance,
};
inline constexpr int kSettingCount = static_cast<int>(Setting::ForceTeamBalance) + 1;

// A text for the texts, a whole number for counts and switches, a real for the ratios.
using SettingValue = std::variant<int32_t, float, std::string>;

struct SettingChange {
    Setting setting;
    SettingValue value;
};

// The engine variable a setting is kept in: "servername", "maxplayers", ...
const char* VariableName(Setting setting);
std::optional<Setting> SettingByVariable(std::string_view variable);
