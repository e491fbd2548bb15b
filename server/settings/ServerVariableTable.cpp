#include "ServerVariableTable.h"

namespace {
using V = SettingsValues;
constexpr const char* kBlank = "\" \"";

constexpr ServerVariable Text(const char* name, const char* defaultText) {
    return {name, VariableKind::Text, defaultText, 0.0f};
}
constexpr ServerVariable Int(const char* name, VariableKind kind, float value,
                             int32_t V::* field = nullptr) {
    return {name, kind, nullptr, value, field};
}
constexpr ServerVariable Real(const char* name, float value, float V::* field = nullptr) {
    return {name, VariableKind::Real, nullptr, value, nullptr, field};
}
constexpr auto I = VariableKind::Integer;
constexpr auto S = VariableKind::Switch;
}  // namespace

// The order is the order of the commands PushDefaults sends and of every pass of Load.
const std::array<ServerVariable, kServerVariableCount> ServerVariableTable = {{
    Text("servername", "\"Tarnwick Server\""),
    Text("adminname", kBlank),
    Text("adminemail", kBlank),
    Text("serverwebsite", kBlank),
    Text("serverpassword", kBlank),
    Text("remoteadminpassword", kBlank),
    Int("timelimit", I, 30, &V::timelimit),
    Int("numrounds", I, 5, &V::numrounds),
    Int("teamflip", S, 0, &V::teamflip),
    Int("flipround", I, 1, &V::flipround),
    Int("maxplayers", I, 16, &V::maxplayers),
    Real("ffteam", 0.5f, &V::ffteam),
    Real("ffallies", 0.5f, &V::ffallies),
    Int("mirrordamage", S, 1, &V::mirrordamage),
    Real("mirrordamagepercent", 0.5f, &V::mirrordamagepercent),
    Int("tkpunish", S, 1, &V::tkpunish),
    Int("numtkstokick", I, 5, &V::numtkstokick),
    Int("numcivstokick", I, 5, &V::numcivstokick),
    Int("kickafktime", I, 8, &V::kickafktime),
    Int("voting", S, 1, &V::voting),
    Real("playerkickvote", 0.6f, &V::playerkickvote),
    Real("mapvote", 0.6f, &V::mapvote),
    Int("autoteambalance", S, 1, &V::autoteambalance),
    Int("logevents", I, 0, &V::logevents),
    Int("nummaps", I, 1),
    Real("katime", 30, &V::katime),
    Int("allowuploads", S, 1, &V::allowuploads),
    Real("map%d", 0),  // sent as it stands; the rotation entries are variables of their own
    Int("dedicated", S, 0, &V::dedicated),
    Int("IncapacitatedTime", I, 30, &V::IncapacitatedTime),
    Int("authenticate", I, 0),
    Int("voip", I, 0, &V::voip),
    Int("lan", S, 0, &V::lan),
    Int("serverbandwidth", I, kDefaultBandwidthIndex, &V::serverbandwidth),
    Int("custombandwidth", I, 32000, &V::custombandwidth),
    Int("mirrorcash", I, 50, &V::mirrorcash),
    Int("forceteambalance", S, 0, &V::forceteambalance),
}};

const std::array<int32_t, kBandwidthPresetCount> BandwidthPresetTable = {
    4000, 16000, 32000, 1000000, 10000000, 32000};
const std::array<const char*, kBandwidthPresetCount> BandwidthPresetNames = {
    "56k", "ISDN", "DSL", "T1", "T3", "CUSTOM"};
