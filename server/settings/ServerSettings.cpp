#include "ServerSettings.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "EngineLink.h"
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

template <typename F>
bool WithEngine(F&& call) {
    return EngineLink::Instance().WithEngine(std::forward<F>(call));
}
}  // namespace

ServerSettings& ServerSettings::Instance() {
    static ServerSettings instance;
    return instance;
}

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
            Format("%s %f", row.name, static_cast<double>(row.defaultNumber));
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
    if (!EngineLink::Instance().IsBound()) return;
    PushDefaults();
    WithEngine([&](ServerEngine& e) { e.ReadConfig(kConfigPath); });

    uint32_t handle = 0;
    WithEngine([&](ServerEngine& e) { e.FindVariable("NumMaps", &handle, 0); });
    if (handle != 0) {
        float value = 0.0f;
        WithEngine([&](ServerEngine& e) { e.ReadVariableNumber(handle, &value); });
        values_.numMaps = TruncateToInteger(value);
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
    WithEngine([&](ServerEngine& e) { result = e.WriteConfig(kConfigPath, 4); });
    return result;
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

const char* ServerSettings::ReadText(const char* name, char* buffer, int32_t width,
                                     bool blankMeansEmpty) {
    buffer[0] = '\0';
    WithEngine([&](ServerEngine& e) {
        uint32_t handle = 0;
        e.FindVariable(name, &handle, 0);
        if (handle != 0) e.ReadVariableText(handle, buffer, width);
    });
    buffer[width - 1] = '\0';
    if (blankMeansEmpty && std::strcmp(buffer, " ") == 0) buffer[0] = '\0';
    return buffer;
}

const char* ServerSettings::ServerName() {
    return ReadText("servername", values_.servername, sizeof values_.servername, false);
}
const char* ServerSettings::AdminName() {
    return ReadText("adminname", values_.adminname, sizeof values_.adminname, true);
}
const char* ServerSettings::AdminEmail() {
    return ReadText("adminemail", values_.adminemail, sizeof values_.adminemail, true);
}
const char* ServerSettings::ServerWebsite() {
    return ReadText("serverwebsite", values_.serverwebsite, sizeof values_.serverwebsite, true);
}
const char* ServerSettings::ServerPassword() {
    return ReadText("serverpassword", values_.serverpassword, sizeof values_.serverpassword, true);
}
const char* ServerSettings::RemoteAdminPassword() {
    return ReadText("remoteadminpassword", values_.remoteadminpassword,
                    sizeof values_.remoteadminpassword, true);
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
SendResult ServerSettings::SetAdminName(std::string_view text) { return SetText("adminname", text); }
SendResult ServerSettings::SetAdminEmail(std::string_view text) { return SetText("adminemail", text); }
SendResult ServerSettings::SetServerWebsite(std::string_view text) {
    return SetText("serverwebsite", text);
}
SendResult ServerSettings::SetServerPassword(std::string_view text) {
    return SetText("serverpassword", text);
}
SendResult ServerSettings::SetRemoteAdminPassword(std::string_view text) {
    return SetText("remoteadminpassword", text);
}

SendResult ServerSettings::SetInteger(int32_t SettingsValues::* field, const char* name,
                                      int32_t value) {
    values_.*field = value;
    return Format("%s %d", name, value);
}

SendResult ServerSettings::SetReal(float SettingsValues::* field, const char* name, float value) {
    values_.*field = value;
    return Format("%s %f", name, static_cast<double>(value));
}

SendResult ServerSettings::ApplySendBandwidth() {
    const int index = NormalizedBandwidthIndex(values_.serverbandwidth);
    const int32_t bytesPerSecond =
        index == kCustomBandwidthIndex ? values_.custombandwidth : BandwidthPresetTable[index];
    return Format("sendbandwidth %d", bytesPerSecond);
}

SendResult ServerSettings::SetNumMaps(int32_t count) {
    values_.numMaps = count;
    return Format("nummaps %d", count);
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
