// The JSON views of what the core publishes, as the API and the live feed send them. Engine
// bytes (names, worlds, console text) become UTF-8 by the byte rule. User-interface thread.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <ctime>
#include <string>
#include <vector>

#include "ServerCore.h"

namespace web_json {

// The one rendering of the status, for /api/status and the live feed alike.
QJsonObject Status(const ServerStatus& status);
inline QJsonObject Status(const ServerCore& core) {
    return Status(core.Status());
}
QJsonObject Player(const ServerCore& core, const PlayerRecord& player, std::time_t now);
QJsonArray Players(const ServerCore& core, std::time_t now);
QJsonObject ConsoleLine(const ConsoleEntry& entry);
QJsonArray ConsoleLines(const std::vector<ConsoleEntry>& entries);
QJsonArray Rotation(const std::vector<RotationEntry>& entries);
// One field of the settings sheet: {"name", "label", "kind", limits, "value"}; a password field
// carries only "set", never its value.
QJsonObject Setting(ServerCore& core, const SettingField& field);
// The sheet's groups in order: [{"group": "Server", "fields": [...]}, ...].
QJsonArray Settings(ServerCore& core);
// [{"name", "until" (seconds since 1970 UTC, 0: for good), "by", "reason"}]
QJsonArray Bans(const std::vector<BanEntry>& bans);
// A health sample with durations in milliseconds: "time", "players", "updateRate" and the rest.
QJsonObject Health(const HealthSample& sample);
QJsonArray HealthSamples(const std::vector<HealthSample>& samples);

// A live feed event: {"type": type, "data": data}.
std::string Event(const char* type, const QJsonValue& data);
std::string Compact(const QJsonValue& value);
QString Text(std::string_view engineBytes);

}  // namespace web_json
