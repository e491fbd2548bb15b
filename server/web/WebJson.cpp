#include "WebJson.h"

#include <QDateTime>
#include <QJsonDocument>
#include <cmath>
#include <cstring>

#include "ByteText.h"
#include "ServerVariableTable.h"

namespace web_json {

namespace {

int PingMilliseconds(float seconds) {
    const double ms = static_cast<double>(seconds) * 1000.0;
    if (!std::isfinite(ms) || ms < 0) return 0;
    return ms >= 2147483647.0 ? 2147483647 : static_cast<int>(ms);
}

}  // namespace

QString Text(std::string_view engineBytes) {
    return QString::fromStdString(byte_text::ToUtf8(engineBytes));
}

QJsonObject Status(const ServerStatus& status) {
    const bool running = status.state == ServerState::Running && status.startedAtMs > 0;
    const int64_t uptime =
        running
            ? std::max<int64_t>(0, QDateTime::currentMSecsSinceEpoch() - status.startedAtMs) / 1000
            : 0;
    const EngineVersion& v = status.version;
    return {
        {"state", QString::fromLatin1(Describe(status.state))},
        {"world", Text(status.world)},
        {"players", status.players},
        {"maxPlayers", status.maxPlayers},
        {"updateRate", std::isfinite(status.updateRate) ? status.updateRate : 0.0},
        {"sendRate", std::isfinite(status.sendRate) ? status.sendRate : 0.0},
        {"receiveRate", std::isfinite(status.receiveRate) ? status.receiveRate : 0.0},
        {"version", QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.build)},
        {"uptimeSeconds", static_cast<double>(uptime)},
    };
}

QJsonObject Player(const ServerCore& core, const PlayerRecord& player, std::time_t now) {
    const std::string_view name(player.name, strnlen(player.name, sizeof player.name));
    const int64_t connected = static_cast<int64_t>(now) - static_cast<int64_t>(player.joinTime);
    return {
        {"id", player.clientId},
        {"name", Text(name)},
        {"team", Text(core.LabelText(player.teamLabelId))},
        {"specialty", Text(core.LabelText(static_cast<uint32_t>(player.specialtyLabelId)))},
        {"ping", PingMilliseconds(core.PingSeconds(player.clientId))},
        {"connectedSeconds", static_cast<double>(std::max<int64_t>(0, connected))},
    };
}

QJsonArray Players(const ServerCore& core, std::time_t now) {
    QJsonArray players;
    for (const PlayerRecord& player : core.Players()) players.append(Player(core, player, now));
    return players;
}

QJsonObject ConsoleLine(const ConsoleEntry& entry) {
    return {{"seq", static_cast<double>(entry.seq)},
            {"time", static_cast<double>(entry.timeMs)},
            {"text", Text(entry.text)}};
}

QJsonArray ConsoleLines(const std::vector<ConsoleEntry>& entries) {
    QJsonArray lines;
    for (const ConsoleEntry& entry : entries) lines.append(ConsoleLine(entry));
    return lines;
}

QJsonArray Rotation(const std::vector<RotationEntry>& entries) {
    QJsonArray rotation;
    for (const RotationEntry& entry : entries)
        rotation.append(QJsonObject{{"index", entry.position}, {"world", Text(entry.world)}});
    return rotation;
}

QJsonObject Setting(ServerCore& core, const SettingField& field) {
    QJsonObject json{{"name", QLatin1String(VariableName(field.setting))},
                     {"label", QLatin1String(field.label)},
                     {"kind", QLatin1String(KindName(field.kind))}};
    if (field.maxCharacters > 0) json["maxCharacters"] = field.maxCharacters;
    const QString shown = core.ShownSetting(field.setting);
    switch (field.kind) {
        case SettingKind::Password:
            json["set"] = !shown.isEmpty();
            return json;
        case SettingKind::Text:
            json["value"] = shown;
            return json;
        case SettingKind::Bandwidth: {
            QJsonArray presets;
            for (const char* name : BandwidthPresetNames) presets.append(QLatin1String(name));
            json["presets"] = presets;
            break;
        }
        default:
            break;
    }
    json["minimum"] = field.minimum;
    json["maximum"] = field.maximum;
    json["value"] = shown.toInt();
    return json;
}

QJsonArray Settings(ServerCore& core) {
    QJsonArray groups;
    for (const SettingGroup group : {SettingGroup::Server, SettingGroup::Rules,
                                     SettingGroup::TeamRules, SettingGroup::Advanced}) {
        QJsonArray fields;
        for (const SettingField& field : SettingFields())
            if (field.group == group) fields.append(Setting(core, field));
        groups.append(QJsonObject{{"group", QLatin1String(GroupName(group))}, {"fields", fields}});
    }
    return groups;
}

QJsonArray Bans(const std::vector<BanEntry>& bans) {
    QJsonArray list;
    for (const BanEntry& ban : bans)
        list.append(QJsonObject{{"name", Text(ban.name)},
                                {"until", static_cast<double>(ban.until)},
                                {"by", Text(ban.by)},
                                {"reason", Text(ban.reason)}});
    return list;
}

QJsonObject Health(const HealthSample& sample) {
    const auto ms = [](int64_t ns) { return static_cast<double>(ns) / 1e6; };
    return {
        {"time", static_cast<double>(sample.timeMs)},
        {"players", sample.players},
        {"updateRate", sample.updateRate},
        {"sendRate", sample.sendRate},
        {"receiveRate", sample.receiveRate},
        {"steps", sample.steps},
        {"lostSteps", sample.lostSteps},
        {"overruns", sample.overruns},
        {"tickMedianMs", ms(sample.tickNs.median)},
        {"tickP99Ms", ms(sample.tickNs.p99)},
        {"tickMaxMs", ms(sample.tickNs.max)},
        {"deviationP99Ms", ms(sample.deviationNs.p99)},
        {"deviationMaxMs", ms(sample.deviationNs.max)},
        {"lockWaitMaxMs", ms(sample.lockWaitMaxNs)},
    };
}

QJsonArray HealthSamples(const std::vector<HealthSample>& samples) {
    QJsonArray array;
    for (const HealthSample& sample : samples) array.append(Health(sample));
    return array;
}

std::string Compact(const QJsonValue& value) {
    QJsonDocument document;
    if (value.isArray()) {
        document = QJsonDocument(value.toArray());
    } else {
        document = QJsonDocument(value.toObject());
    }
    return document.toJson(QJsonDocument::Compact).toStdString();
}

std::string Event(const char* type, const QJsonValue& data) {
    return Compact(QJsonObject{{"type", QString::fromLatin1(type)}, {"data", data}});
}

}  // namespace web_json
