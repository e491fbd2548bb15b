// The settings store, one per server core. It pushes defaults into the engine, has the engine read
// its configuration file over them, reads the values back, and sends every change to the engine as
// one console command. The engine is reached only through the core's engine access, one locked
// call at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "EngineAccess.h"
#include "SettingChange.h"
#include "SettingsValues.h"

enum class SendResult {
    Sent,        // the command went to the engine (or, for an empty server name, needs none)
    NoEngine,    // no engine is bound; numeric values are still stored
    TooLong,     // the command would not fit its line: nothing was sent
    UnsafeText,  // a double quote or a control character would break the quoted value
    WrongKind,   // a text for a number, or a number for a text: nothing was sent
};

// The engine's text variables that the Server page edits.
enum class SettingText {
    ServerName,
    AdminName,
    AdminEmail,
    ServerWebsite,
    ServerPassword,
    RemoteAdminPassword
};

class ServerSettings {
public:
    static constexpr int kCommandLineSize = 256;
    // Each rotation entry is one console line to read and to send, so the rotation is kept to
    // what the maps dialogs can go through at once.
    static constexpr int32_t kMaxRotationEntries = 1024;
    static constexpr const char* kConfigPath = "tarnwick/server.cfg";

    explicit ServerSettings(EngineAccess& engine) : engine_(engine) {}
    ServerSettings(const ServerSettings&) = delete;
    ServerSettings& operator=(const ServerSettings&) = delete;

    void PushDefaults();
    void Load();
    int32_t Save();
    // The same write, on an engine the caller holds under engineLock already.
    static int32_t Save(ServerEngine& engine);
    std::optional<std::string> GetRotationMap(int index);

    // Text getters: read from the engine into the store's buffers. A value of one blank is how an
    // empty text is kept in the engine, and reads back empty, except for the server name.
    const char* ServerName() { return Text(SettingText::ServerName); }
    const char* AdminName() { return Text(SettingText::AdminName); }
    const char* AdminEmail() { return Text(SettingText::AdminEmail); }
    const char* ServerWebsite() { return Text(SettingText::ServerWebsite); }
    const char* ServerPassword() { return Text(SettingText::ServerPassword); }
    const char* RemoteAdminPassword() { return Text(SettingText::RemoteAdminPassword); }
    // The same texts whole, up to what a command line can carry: a page shows these, so that one
    // too long for its field is refused there rather than cut and sent back.
    std::string WholeText(SettingText which);
    // The same, or nothing when the engine could not be asked (none bound, or not responding).
    std::optional<std::string> ReadWholeText(SettingText which);
    // The same, on an engine the caller holds under engineLock already.
    std::string ReadWholeText(ServerEngine& engine, SettingText which);

    const SettingsValues& Values() const { return values_; }
    int32_t NumMaps() const { return values_.numMaps; }
    bool IsLan() const { return values_.lan != 0; }

    // An empty server name sends nothing; the other texts send one blank in quotes.
    SendResult SetServerName(std::string_view text);
    SendResult SetAdminName(std::string_view text);
    SendResult SetAdminEmail(std::string_view text);
    SendResult SetServerWebsite(std::string_view text);
    SendResult SetServerPassword(std::string_view text);
    SendResult SetRemoteAdminPassword(std::string_view text);

    SendResult SetMaxPlayers(int32_t v) {
        return SetInteger(&SettingsValues::maxplayers, "maxplayers", v);
    }
    SendResult SetTimeLimit(int32_t v) {
        return SetInteger(&SettingsValues::timelimit, "timelimit", v);
    }
    SendResult SetNumRounds(int32_t v) {
        return SetInteger(&SettingsValues::numrounds, "numrounds", v);
    }
    SendResult SetTeamFlip(int32_t v) {
        return SetInteger(&SettingsValues::teamflip, "teamflip", v);
    }
    SendResult SetFlipRound(int32_t v) {
        return SetInteger(&SettingsValues::flipround, "flipround", v);
    }
    SendResult SetFfTeam(float v) { return SetReal(&SettingsValues::ffteam, "ffteam", v); }
    SendResult SetFfAllies(float v) { return SetReal(&SettingsValues::ffallies, "ffallies", v); }
    SendResult SetMirrorDamage(int32_t v) {
        return SetInteger(&SettingsValues::mirrordamage, "mirrordamage", v);
    }
    SendResult SetMirrorDamagePercent(float v) {
        return SetReal(&SettingsValues::mirrordamagepercent, "mirrordamagepercent", v);
    }
    SendResult SetTkPunish(int32_t v) {
        return SetInteger(&SettingsValues::tkpunish, "tkpunish", v);
    }
    SendResult SetNumTksToKick(int32_t v) {
        return SetInteger(&SettingsValues::numtkstokick, "numtkstokick", v);
    }
    SendResult SetNumCivsToKick(int32_t v) {
        return SetInteger(&SettingsValues::numcivstokick, "numcivstokick", v);
    }
    SendResult SetAllowUploads(int32_t v) {
        return SetInteger(&SettingsValues::allowuploads, "allowuploads", v);
    }
    SendResult SetLogEvents(int32_t v) {
        return SetInteger(&SettingsValues::logevents, "logevents", v);
    }
    SendResult SetVoting(int32_t v) { return SetInteger(&SettingsValues::voting, "voting", v); }
    SendResult SetPlayerKickVote(float v) {
        return SetReal(&SettingsValues::playerkickvote, "playerkickvote", v);
    }
    SendResult SetMapVote(float v) { return SetReal(&SettingsValues::mapvote, "mapvote", v); }
    SendResult SetKickAfkTime(int32_t v) {
        return SetInteger(&SettingsValues::kickafktime, "kickafktime", v);
    }
    SendResult SetAutoTeamBalance(int32_t v) {
        return SetInteger(&SettingsValues::autoteambalance, "autoteambalance", v);
    }
    SendResult SetVoip(int32_t v) { return SetInteger(&SettingsValues::voip, "voip", v); }
    SendResult SetLan(int32_t v) { return SetInteger(&SettingsValues::lan, "lan", v); }
    SendResult SetServerBandwidth(int32_t v) {
        return SetInteger(&SettingsValues::serverbandwidth, "serverbandwidth", v);
    }
    SendResult SetCustomBandwidth(int32_t v) {
        return SetInteger(&SettingsValues::custombandwidth, "custombandwidth", v);
    }
    SendResult SetMirrorCash(int32_t v) {
        return SetInteger(&SettingsValues::mirrorcash, "mirrorcash", v);
    }
    SendResult SetForceTeamBalance(int32_t v) {
        return SetInteger(&SettingsValues::forceteambalance, "forceteambalance", v);
    }

    // The setter of change.setting with its value; a value of the wrong kind sends nothing.
    SendResult Apply(const SettingChange& change);

    // Sends the bytes per second of the selected preset, or the custom value for CUSTOM.
    SendResult ApplySendBandwidth();
    SendResult SetNumMaps(int32_t count);
    SendResult SetRotationMap(int index, std::string_view worldPath);

    // The one road to the engine: the line goes to ExecuteCommand as it stands.
    SendResult SendCommand(const char* line);

    // For tests: back to the all-zero store of program start.
    void Reset() { values_ = SettingsValues{}; }

private:
    template <typename F>
    bool WithEngine(F&& call) {
        return engine_.WithEngine(std::forward<F>(call));
    }
    SendResult SetInteger(int32_t SettingsValues::*field, const char* name, int32_t value);
    SendResult SetReal(float SettingsValues::*field, const char* name, float value);
    SendResult SetText(const char* name, std::string_view text);
    struct TextSlot {
        const char* name;
        char* buffer;  // the store's, of width bytes
        int32_t width;
        bool blankMeansEmpty;
    };
    TextSlot Slot(SettingText which);
    bool ReadText(const TextSlot& slot, char* buffer, int32_t width);  // false: not reached
    const char* Text(SettingText which);
    // Says so on standard error when the count is beyond kMaxRotationEntries.
    static int32_t BoundedRotationLength(int32_t count, const char* source);
    void FlagIfUnflagged(const char* name);

    template <typename... Args>
    SendResult Format(const char* format, Args... args);

    EngineAccess& engine_;
    SettingsValues values_;
};
