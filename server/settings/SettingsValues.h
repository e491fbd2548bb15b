// The settings store's fields, in the order the engine's variables are read back into them.
#pragma once

#include <cstdint>

struct SettingsValues {
    int32_t numMaps = 0;  // rotation entries; 0 or less means none
    int32_t IncapacitatedTime = 0;
    int32_t dedicated = 0;
    int32_t forceteambalance = 0;
    int32_t mirrorcash = 0;
    int32_t kickafktime = 0;
    int32_t timelimit = 0;
    int32_t maxplayers = 0;
    float ffteam = 0.0f;
    float ffallies = 0.0f;
    int32_t mirrordamage = 0;
    float mirrordamagepercent = 0.0f;
    int32_t tkpunish = 0;
    int32_t numtkstokick = 0;
    int32_t numcivstokick = 0;
    int32_t voting = 0;
    float playerkickvote = 0.0f;
    float mapvote = 0.0f;
    int32_t autoteambalance = 0;
    int32_t logevents = 0;
    int32_t numrounds = 0;
    int32_t teamflip = 0;
    int32_t flipround = 0;
    float katime = 0.0f;
    int32_t allowuploads = 0;
    int32_t voip = 0;
    int32_t lan = 0;
    int32_t serverbandwidth = 0;  // index into BandwidthPresetTable, always 0..5 once loaded
    int32_t custombandwidth = 0;  // bytes per second when serverbandwidth is CUSTOM
    char servername[64] = {};
    char adminname[32] = {};
    char adminemail[48] = {};
    char serverwebsite[48] = {};
    char serverpassword[32] = {};
    char remoteadminpassword[32] = {};
};
