#include "SettingChange.h"

namespace {
constexpr const char* kVariables[kSettingCount] = {
    "servername",       "adminname",
    "adminemail",       "serverwebsite",
    "serverpassword",   "remoteadminpassword",
    "maxplayers",       "timelimit",
    "numrounds",        "teamflip",
    "flipround",        "lan",
    "ffteam",           "ffallies",
    "mirrordamage",     "mirrordamagepercent",
    "tkpunish",         "numtkstokick",
    "numcivstokick",    "mirrorcash",
    "allowuploads",     "logevents",
    "voting",           "playerkickvote",
    "mapvote",          "kickafktime",
    "autoteambalance",  "voip",
    "serverbandwidth",  "custombandwidth",
    "forceteambalance",
};
}  // namespace

const char* VariableName(Setting setting) {
    return kVariables[static_cast<int>(setting)];
}

std::optional<Setting> SettingByVariable(std::string_view variable) {
    for (int i = 0; i < kSettingCount; ++i)
        if (variable == kVariables[i]) return static_cast<Setting>(i);
    return std::nullopt;
}
