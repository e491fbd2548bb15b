#include "SettingFields.h"

#include <cstring>
#include <iterator>
#include <limits>

#include "ServerVariableTable.h"
#include "SettingRules.h"

namespace {

using Group = SettingGroup;
using Kind = SettingKind;
constexpr int32_t kAny = std::numeric_limits<int32_t>::max();

// In the order of the Setting enumeration, which is the sheet's order of pages and controls.
// Texts take what the store reads back whole (its buffer less the terminator); numbers what the
// sheet's controls can hold: slider ranges, digits-only edits, the cash penalty's four and the
// custom bandwidth's nine digits.
// clang-format off
constexpr SettingField kFields[] = {
    {Setting::ServerName, Group::Server, Kind::Text, "Server Name", 0, 0, 63},
    {Setting::AdminName, Group::Server, Kind::Text, "Admin Name", 0, 0, 31},
    {Setting::AdminEmail, Group::Server, Kind::Text, "Admin Email", 0, 0, 47},
    {Setting::ServerWebsite, Group::Server, Kind::Text, "Server Website", 0, 0, 47},
    {Setting::ServerPassword, Group::Server, Kind::Password, "Server Password", 0, 0, 31},
    {Setting::RemoteAdminPassword, Group::Server, Kind::Password, "Remote Admin Password", 0, 0, 31},
    {Setting::MaxPlayers, Group::Rules, Kind::Integer, "Maximum Players", 2, 24},
    {Setting::TimeLimit, Group::Rules, Kind::Integer, "Time Limit", 0, kAny},
    {Setting::NumRounds, Group::Rules, Kind::Integer, "Switch Map Every", 0, kAny},
    {Setting::TeamFlip, Group::Rules, Kind::Switch, "Team Flip", 0, 1},
    {Setting::FlipRound, Group::Rules, Kind::Integer, "Every Number of Rounds", 0, kAny},
    {Setting::Lan, Group::Rules, Kind::Switch, "Lan Only", 0, 1},
    {Setting::FfTeam, Group::TeamRules, Kind::Percent, "Friendly Fire Team", 0, 100},
    {Setting::FfAllies, Group::TeamRules, Kind::Percent, "Friendly Fire Allies/Civilians", 0, 100},
    {Setting::MirrorDamage, Group::TeamRules, Kind::Switch, "Mirror Damage", 0, 1},
    {Setting::MirrorDamagePercent, Group::TeamRules, Kind::Percent, "Percentage of damage mirrored", 1, 200},
    {Setting::TkPunish, Group::TeamRules, Kind::Switch, "Team Kill Punish", 0, 1},
    {Setting::NumTksToKick, Group::TeamRules, Kind::Integer, "Number Team Kills before Kick", 0, kAny},
    {Setting::NumCivsToKick, Group::TeamRules, Kind::Integer, "Number Civilian Kills before Kick", 0, kAny},
    {Setting::MirrorCash, Group::TeamRules, Kind::Integer, "Cash Penalty for shooting teammates", 0, 9999, 4},
    {Setting::AllowUploads, Group::Advanced, Kind::Switch, "Allow Badge Uploads", 0, 1},
    {Setting::LogEvents, Group::Advanced, Kind::Switch, "Log Server Events", 0, 1},
    {Setting::Voting, Group::Advanced, Kind::Switch, "Voting", 0, 1},
    {Setting::PlayerKickVote, Group::Advanced, Kind::Percent, "Vote Player Kick Ratio", 0, 100},
    {Setting::MapVote, Group::Advanced, Kind::Percent, "Vote Change Map Ratio", 0, 100},
    {Setting::KickAfkTime, Group::Advanced, Kind::Integer, "Kick Away From Keyboard User After", 0, kAny},
    {Setting::AutoTeamBalance, Group::Advanced, Kind::Switch, "Auto Team Balance", 0, 1},
    {Setting::Voip, Group::Advanced, Kind::Switch, "Voice over IP", 0, 1},
    {Setting::ServerBandwidth, Group::Advanced, Kind::Bandwidth, "Bandwidth", 0, kBandwidthPresetCount - 1},
    {Setting::CustomBandwidth, Group::Advanced, Kind::Integer, "Custom Bandwidth", 0, 999999999, 9},
    {Setting::ForceTeamBalance, Group::Advanced, Kind::Switch, "Force Team Balance", 0, 1},
};
// clang-format on
static_assert(std::size(kFields) == kSettingCount);

constexpr bool InEnumOrder() {
    for (int i = 0; i < kSettingCount; ++i)
        if (static_cast<int>(kFields[i].setting) != i) return false;
    return true;
}
static_assert(InEnumOrder());

bool IsText(const SettingField& field) {
    return field.kind == Kind::Text || field.kind == Kind::Password;
}

}  // namespace

std::span<const SettingField> SettingFields() {
    return kFields;
}

const SettingField& FieldOf(Setting setting) {
    return kFields[static_cast<int>(setting)];
}

const char* GroupName(SettingGroup group) {
    switch (group) {
        case Group::Server:
            return "Server";
        case Group::Rules:
            return "Rules";
        case Group::TeamRules:
            return "Team Rules";
        case Group::Advanced:
            break;
    }
    return "Advanced";
}

const char* KindName(SettingKind kind) {
    switch (kind) {
        case Kind::Text:
            return "text";
        case Kind::Password:
            return "password";
        case Kind::Integer:
            return "integer";
        case Kind::Switch:
            return "switch";
        case Kind::Percent:
            return "percent";
        case Kind::Bandwidth:
            break;
    }
    return "bandwidth";
}

FieldProblem CheckField(const SettingField& field, const QString& shown) {
    if (IsText(field)) {
        switch (SettingRules::CheckSettingText(shown, field.maxCharacters)) {
            case SettingRules::TextProblem::TooLong:
                return FieldProblem::TooLong;
            case SettingRules::TextProblem::UnsafeCharacter:
                return FieldProblem::UnsafeCharacter;
            case SettingRules::TextProblem::NotLatin1:
                return FieldProblem::NotLatin1;
            case SettingRules::TextProblem::None:
                break;
        }
        if (field.kind == Kind::Password && SettingRules::IsShortPassword(shown))
            return FieldProblem::ShortPassword;
        return FieldProblem::None;
    }
    if (field.maxCharacters > 0 && shown.size() > field.maxCharacters) return FieldProblem::TooLong;
    const std::optional<int32_t> value = SettingRules::ParseExchangeInteger(shown);
    if (!value) return FieldProblem::NotInteger;
    if (*value < field.minimum || *value > field.maximum) return FieldProblem::OutOfRange;
    return FieldProblem::None;
}

QString RefusalMessage(const SettingField& field, FieldProblem problem) {
    const QString label = QString::fromLatin1(field.label);
    switch (problem) {
        case FieldProblem::None:
            break;
        case FieldProblem::TooLong:
            return SettingRules::TooManyCharactersMessage(field.maxCharacters);
        case FieldProblem::NotInteger:
            return SettingRules::NotIntegerMessage();
        case FieldProblem::OutOfRange:
            return SettingRules::OutOfRangeMessage(field.minimum, field.maximum);
        case FieldProblem::UnsafeCharacter:
            return SettingRules::UnsafeTextMessage(label);
        case FieldProblem::NotLatin1:
            return SettingRules::NotLatin1Message(label);
        case FieldProblem::ShortPassword:
            return SettingRules::ShortPasswordMessage();
    }
    return {};
}

SettingChange ToSettingChange(const SettingField& field, const QString& shown) {
    if (IsText(field)) return {field.setting, shown.toLatin1().toStdString()};
    const int32_t value = SettingRules::ParseExchangeInteger(shown).value_or(0);
    if (field.kind == Kind::Percent)
        return {field.setting, SettingRules::PercentSliderValue(value)};
    return {field.setting, value};
}

QString ShownNumber(const SettingField& field, const SettingsValues& values) {
    if (field.kind == Kind::Bandwidth)
        return QString::number(NormalizedBandwidthIndex(values.serverbandwidth));
    for (const ServerVariable& row : ServerVariableTable) {
        if (std::strcmp(row.name, VariableName(field.setting)) != 0) continue;
        if (row.integerField) return QString::number(values.*row.integerField);
        if (row.realField)
            return QString::number(SettingRules::PercentSliderPosition(values.*row.realField));
    }
    return {};
}
