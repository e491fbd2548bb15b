#include "ServerSettings.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "ServerEngine.h"
#include "ServerVariableTable.h"

namespace {
constexpr uint32_t kServerVariableFlags = 5;

// A line break would start a second command; other control bytes have no business in a value.
bool HasControlCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c < 32 || c == 127) return true;
    return false;
}

// Inside quotes, a quote would also end the value early.
bool IsSafeQuotedText(std::string_view text) {
    return !HasControlCharacter(text) && text.find('"') == std::string_view::npos;
}

int32_t TruncateToInteger(float value) {
    // Converting NaN or a value beyond 32 bits would be undefined; a garbage file may hold either.
    if (value != value) return 0;
    if (value >= 2147483648.0f) return INT32_MAX;
    if (value <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// What "%f" gives in the C locale, whatever locale the process is in: the engine reads a comma
// as the start of a text, and a text reads back as 0.
std::string FixedSixDecimals(double value) {
    char text[400];  // the largest double has 309 digits before the point
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(text, end) : std::string();
}
}  // namespace

SendResult ServerSettings::SendCommand(const char* line) {
    const bool sent = WithEngine([&](ServerEngine& e) { e.ExecuteCommand(line); });
    return sent ? SendResult::Sent : SendResult::NoEngine;
}

template <typename... Args>
SendResult ServerSettings::Format(const char* format, Args... args) {
    char line[kCommandLineSize];
    const int length = std::snprintf(line, sizeof line, format, args...);
    if (length < 0 || length >= kCommandLineSize) return SendResult::TooLong;
    return SendCommand(line);
}

void ServerSettings::PushDefaults() {
    for (const ServerVariable& row : ServerVariableTable) {
        if (row.kind == VariableKind::Text)
            Format("+%s %s", row.name, row.defaultText);
        else
            Format("%s %s", row.name,
                   FixedSixDecimals(static_cast<double>(row.defaultNumber)).c_str());
    }
    Format("map%d %s", 0, "worlds/antarctica");
}

void ServerSettings::FlagIfUnflagged(const char* name) {
    WithEngine([&](ServerEngine& e) {
        uint32_t flags = 0;
        if (e.GetVariableFlags(name, &flags) == 0) e.SetVariableFlags(name, kServerVariableFlags);
    });
}

void ServerSettings::Load() {
    if (!engine_.IsBound()) return;
    PushDefaults();
    WithEngine([&](ServerEngine& e) { e.ReadConfig(kConfigPath); });

    uint32_t handle = 0;
    WithEngine([&](ServerEngine& e) { e.FindVariable("NumMaps", &handle, 0); });
    if (handle != 0) {
        float value = 0.0f;
        WithEngine([&](ServerEngine& e) { e.ReadVariableNumber(handle, &value); });
        values_.numMaps = BoundedRotationLength(TruncateToInteger(value), "NumMaps");
    }

    for (const ServerVariable& row : ServerVariableTable) FlagIfUnflagged(row.name);
    char name[32];
    for (int32_t i = 0; i < values_.numMaps; ++i) {
        std::snprintf(name, sizeof name, "map%d", i);
        FlagIfUnflagged(name);
    }

    for (const ServerVariable& row : ServerVariableTable) {
        if (!row.integerField && !row.realField) continue;
        handle = 0;
        WithEngine([&](ServerEngine& e) { e.FindVariable(row.name, &handle, 0); });
        if (handle == 0) continue;
        float value = 0.0f;
        WithEngine([&](ServerEngine& e) { e.ReadVariableNumber(handle, &value); });
        if (row.realField)
            values_.*row.realField = value;
        else
            values_.*row.integerField = TruncateToInteger(value);
    }
    values_.serverbandwidth = NormalizedBandwidthIndex(values_.serverbandwidth);

    ApplySendBandwidth();
}

int32_t ServerSettings::Save() {
    int32_t result = 0;
    WithEngine([&](ServerEngine& e) { result = Save(e); });
    return result;
}

int32_t ServerSettings::Save(ServerEngine& engine) {
    return engine.WriteConfig(kConfigPath, 4);
}

std::optional<std::string> ServerSettings::GetRotationMap(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "map%d", index);
    char buffer[256] = {};
    bool found = false;
    WithEngine([&](ServerEngine& e) {
        uint32_t handle = 0;
        e.FindVariable(name, &handle, 0);
        if (handle == 0) return;
        e.ReadVariableText(handle, buffer, 255);
        found = true;
    });
    if (!found) return std::nullopt;
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

ServerSettings::TextSlot ServerSettings::Slot(SettingText which) {
    SettingsValues& v = values_;
    switch (which) {
        case SettingText::ServerName:
            return {"servername", v.servername, sizeof v.servername, false};
        case SettingText::AdminName:
            return {"adminname", v.adminname, sizeof v.adminname, true};
        case SettingText::AdminEmail:
            return {"adminemail", v.adminemail, sizeof v.adminemail, true};
        case SettingText::ServerWebsite:
            return {"serverwebsite", v.serverwebsite, sizeof v.serverwebsite, true};
        case SettingText::ServerPassword:
            return {"serverpassword", v.serverpassword, sizeof v.serverpassword, true};
        case SettingText::RemoteAdminPassword:
            break;
    }
    return {"remoteadminpassword", v.remoteadminpassword, sizeof v.remoteadminpassword, true};
}

namespace {

void ReadInto(ServerEngine& engine, const char* name, bool blankMeansEmpty, char* buffer,
              int32_t width) {
    buffer[0] = '\0';
    uint32_t handle = 0;
    engine.FindVariable(name, &handle, 0);
    if (handle != 0) engine.ReadVariableText(handle, buffer, width);
    buffer[width - 1] = '\0';
    // Except for the server name, one blank is how an empty text is kept in the engine.
    if (blankMeansEmpty && std::strcmp(buffer, " ") == 0) buffer[0] = '\0';
}

}  // namespace

bool ServerSettings::ReadText(const TextSlot& slot, char* buffer, int32_t width) {
    buffer[0] = '\0';
    return WithEngine([&](ServerEngine& e) {
        ReadInto(e, slot.name, slot.blankMeansEmpty, buffer, width);
    });
}

const char* ServerSettings::Text(SettingText which) {
    const TextSlot slot = Slot(which);
    ReadText(slot, slot.buffer, slot.width);
    return slot.buffer;
}

std::string ServerSettings::WholeText(SettingText which) {
    return ReadWholeText(which).value_or(std::string());
}

std::optional<std::string> ServerSettings::ReadWholeText(SettingText which) {
    char buffer[kCommandLineSize];
    if (!ReadText(Slot(which), buffer, sizeof buffer)) return std::nullopt;
    return std::string(buffer);
}

std::string ServerSettings::ReadWholeText(ServerEngine& engine, SettingText which) {
    const TextSlot slot = Slot(which);
    char buffer[kCommandLineSize];
    ReadInto(engine, slot.name, slot.blankMeansEmpty, buffer, sizeof buffer);
    return std::string(buffer);
}

SendResult ServerSettings::SetText(const char* name, std::string_view text) {
    if (!IsSafeQuotedText(text)) return SendResult::UnsafeText;
    if (text.empty()) text = " ";
    return Format("+%s \"%.*s\"", name, static_cast<int>(text.size()), text.data());
}

SendResult ServerSettings::SetServerName(std::string_view text) {
    // An empty name would leave the server nameless, so the engine keeps the one it has.
    if (text.empty()) return SendResult::Sent;
    return SetText("servername", text);
}
SendResult ServerSettings::SetAdminName(std::string_view text) {
    return SetText("adminname", text);
}
SendResult ServerSettings::SetAdminEmail(std::string_view text) {
    return SetText("adminemail", text);
}
SendResult ServerSettings::SetServerWebsite(std::string_view text) {
    return SetText("serverwebsite", text);
}
SendResult ServerSettings::SetServerPassword(std::string_view text) {
    return SetText("serverpassword", text);
}
SendResult ServerSettings::SetRemoteAdminPassword(std::string_view text) {
    return SetText("remoteadminpassword", text);
}

SendResult ServerSettings::SetInteger(int32_t SettingsValues::*field, const char* name,
                                      int32_t value) {
    values_.*field = value;
    return Format("%s %d", name, value);
}

SendResult ServerSettings::SetReal(float SettingsValues::*field, const char* name, float value) {
    values_.*field = value;
    return Format("%s %s", name, FixedSixDecimals(static_cast<double>(value)).c_str());
}

SendResult ServerSettings::ApplySendBandwidth() {
    const int index = NormalizedBandwidthIndex(values_.serverbandwidth);
    const int32_t bytesPerSecond =
        index == kCustomBandwidthIndex ? values_.custombandwidth : BandwidthPresetTable[index];
    return Format("sendbandwidth %d", bytesPerSecond);
}

int32_t ServerSettings::BoundedRotationLength(int32_t count, const char* source) {
    if (count <= kMaxRotationEntries) return count;
    std::fprintf(stderr,
                 "Warning: %s %d is more than the %d map rotation entries this program can use; "
                 "only the first %d are used.\n",
                 source, count, kMaxRotationEntries, kMaxRotationEntries);
    return kMaxRotationEntries;
}

SendResult ServerSettings::SetNumMaps(int32_t count) {
    values_.numMaps = BoundedRotationLength(count, "nummaps");
    return Format("nummaps %d", values_.numMaps);
}

SendResult ServerSettings::SetRotationMap(int index, std::string_view worldPath) {
    if (HasControlCharacter(worldPath)) return SendResult::UnsafeText;
    const SendResult result =
        Format("map%d %.*s", index, static_cast<int>(worldPath.size()), worldPath.data());
    if (result != SendResult::Sent) return result;
    char name[32];
    std::snprintf(name, sizeof name, "map%d", index);
    WithEngine([&](ServerEngine& e) { e.SetVariableFlags(name, kServerVariableFlags); });
    return result;
}

SendResult ServerSettings::Apply(const SettingChange& change) {
    const auto* number = std::get_if<int32_t>(&change.value);
    const auto* real = std::get_if<float>(&change.value);
    const auto* text = std::get_if<std::string>(&change.value);
    const auto integer = [&](SendResult (ServerSettings::*setter)(int32_t)) {
        return number ? (this->*setter)(*number) : SendResult::WrongKind;
    };
    const auto ratio = [&](SendResult (ServerSettings::*setter)(float)) {
        return real ? (this->*setter)(*real) : SendResult::WrongKind;
    };
    const auto words = [&](SendResult (ServerSettings::*setter)(std::string_view)) {
        return text ? (this->*setter)(*text) : SendResult::WrongKind;
    };
    switch (change.setting) {
        case Setting::ServerName:
            return words(&ServerSettings::SetServerName);
        case Setting::AdminName:
            return words(&ServerSettings::SetAdminName);
        case Setting::AdminEmail:
            return words(&ServerSettings::SetAdminEmail);
        case Setting::ServerWebsite:
            return words(&ServerSettings::SetServerWebsite);
        case Setting::ServerPassword:
            return words(&ServerSettings::SetServerPassword);
        case Setting::RemoteAdminPassword:
            return words(&ServerSettings::SetRemoteAdminPassword);
        case Setting::MaxPlayers:
            return integer(&ServerSettings::SetMaxPlayers);
        case Setting::TimeLimit:
            return integer(&ServerSettings::SetTimeLimit);
        case Setting::NumRounds:
            return integer(&ServerSettings::SetNumRounds);
        case Setting::TeamFlip:
            return integer(&ServerSettings::SetTeamFlip);
        case Setting::FlipRound:
            return integer(&ServerSettings::SetFlipRound);
        case Setting::Lan:
            return integer(&ServerSettings::SetLan);
        case Setting::FfTeam:
            return ratio(&ServerSettings::SetFfTeam);
        case Setting::FfAllies:
            return ratio(&ServerSettings::SetFfAllies);
        case Setting::MirrorDamage:
            return integer(&ServerSettings::SetMirrorDamage);
        case Setting::MirrorDamagePercent:
            return ratio(&ServerSettings::SetMirrorDamagePercent);
        case Setting::TkPunish:
            return integer(&ServerSettings::SetTkPunish);
        case Setting::NumTksToKick:
            return integer(&ServerSettings::SetNumTksToKick);
        case Setting::NumCivsToKick:
            return integer(&ServerSettings::SetNumCivsToKick);
        case Setting::MirrorCash:
            return integer(&ServerSettings::SetMirrorCash);
        case Setting::AllowUploads:
            return integer(&ServerSettings::SetAllowUploads);
        case Setting::LogEvents:
            return integer(&ServerSettings::SetLogEvents);
        case Setting::Voting:
            return integer(&ServerSettings::SetVoting);
        case Setting::PlayerKickVote:
            return ratio(&ServerSettings::SetPlayerKickVote);
        case Setting::MapVote:
            return ratio(&ServerSettings::SetMapVote);
        case Setting::KickAfkTime:
            return integer(&ServerSettings::SetKickAfkTime);
        case Setting::AutoTeamBalance:
            return integer(&ServerSettings::SetAutoTeamBalance);
        case Setting::Voip:
            return integer(&ServerSettings::SetVoip);
        case Setting::ServerBandwidth:
            return integer(&ServerSettings::SetServerBandwidth);
        case Setting::CustomBandwidth:
            return integer(&ServerSettings::SetCustomBandwidth);
        case Setting::ForceTeamBalance:
            return integer(&ServerSettings::SetForceTeamBalance);
    }
    return SendResult::WrongKind;
}
