#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "EngineLink.h"
#include "FakeEngine.h"
#include "ServerSettings.h"
#include "ServerVariableTable.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.Reset();
        EngineLink::Instance().Bind(&engine);
    }
    void TearDown() override {
        settings.Reset();
        EngineLink::Instance().Unbind();
    }

    std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : engine.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    FakeEngine engine;
    ServerSettings& settings = ServerSettings::Instance();
};

const std::vector<std::string> kDefaultLines = {
    "+servername \"Tarnwick Server\"",
    "+adminname \" \"",
    "+adminemail \" \"",
    "+serverwebsite \" \"",
    "+serverpassword \" \"",
    "+remoteadminpassword \" \"",
    "timelimit 30.000000",
    "numrounds 5.000000",
    "teamflip 0.000000",
    "flipround 1.000000",
    "maxplayers 16.000000",
    "ffteam 0.500000",
    "ffallies 0.500000",
    "mirrordamage 1.000000",
    "mirrordamagepercent 0.500000",
    "tkpunish 1.000000",
    "numtkstokick 5.000000",
    "numcivstokick 5.000000",
    "kickafktime 8.000000",
    "voting 1.000000",
    "playerkickvote 0.600000",
    "mapvote 0.600000",
    "autoteambalance 1.000000",
    "logevents 0.000000",
    "nummaps 1.000000",
    "katime 30.000000",
    "allowuploads 1.000000",
    "map%d 0.000000",
    "dedicated 0.000000",
    "IncapacitatedTime 30.000000",
    "authenticate 0.000000",
    "voip 0.000000",
    "lan 0.000000",
    "serverbandwidth 2.000000",
    "custombandwidth 32000.000000",
    "mirrorcash 50.000000",
    "forceteambalance 0.000000",
    "map0 worlds/antarctica",
};

TEST_F(SettingsTest, PushDefaultsSendsEveryRowThenTheFirstRotationEntry) {
    settings.PushDefaults();
    EXPECT_EQ(engine.Commands(), kDefaultLines);
}

TEST_F(SettingsTest, LoadWithoutConfigurationRunsTheWholeSequenceAndKeepsDefaults) {
    settings.Load();

    auto expected = kDefaultLines;
    expected.push_back("sendbandwidth 32000");
    EXPECT_EQ(engine.Commands(), expected);

    // Right after the defaults: the file, then the rotation length.
    ASSERT_GT(engine.calls.size(), 40u);
    EXPECT_EQ(engine.calls[38], "ReadConfig tarnwick/server.cfg");
    EXPECT_EQ(engine.calls[39], "FindVariable NumMaps 0");

    // Every row is asked for its flags and, having none, gets 5; so does rotation entry 0.
    auto asked = CallsStartingWith("GetVariableFlags ");
    ASSERT_EQ(asked.size(), 38u);
    EXPECT_EQ(asked.front(), "GetVariableFlags servername");
    EXPECT_EQ(asked.back(), "GetVariableFlags map0");
    EXPECT_EQ(CallsStartingWith("SetVariableFlags ").size(), 38u);
    EXPECT_EQ(engine.Find("timelimit")->flags, 5u);

    const SettingsValues& v = settings.Values();
    EXPECT_EQ(v.numMaps, 1);
    EXPECT_EQ(v.timelimit, 30);
    EXPECT_EQ(v.maxplayers, 16);
    EXPECT_EQ(v.ffteam, 0.5f);
    EXPECT_EQ(v.playerkickvote, 0.6f);
    EXPECT_EQ(v.katime, 30.0f);
    EXPECT_EQ(v.serverbandwidth, 2);
    EXPECT_EQ(v.custombandwidth, 32000);
    EXPECT_EQ(v.mirrorcash, 50);
    EXPECT_EQ(v.IncapacitatedTime, 30);
    EXPECT_EQ(settings.GetRotationMap(0), "worlds/antarctica");
}

TEST_F(SettingsTest, LoadLeavesFlaggedVariablesAlone) {
    engine.SetNumber("maxplayers", 8);
    engine.SetVariableFlags("maxplayers", 4);
    engine.ClearCalls();
    settings.Load();
    const auto set = CallsStartingWith("SetVariableFlags maxplayers");
    EXPECT_TRUE(set.empty());
}

TEST_F(SettingsTest, LoadTruncatesNumbersTowardZeroAndKeepsRealsAsRead) {
    engine.configLines = {"timelimit 12.9", "maxplayers -3.7", "ffteam 0.25", "mirrorcash 1e12"};
    settings.Load();
    EXPECT_EQ(settings.Values().timelimit, 12);
    EXPECT_EQ(settings.Values().maxplayers, -3);
    EXPECT_EQ(settings.Values().ffteam, 0.25f);
    EXPECT_EQ(settings.Values().mirrorcash, INT32_MAX);  // saturated, never undefined
}

TEST_F(SettingsTest, RotationFlaggingCoversExactlyNumMapsEntries) {
    struct Case {
        const char* line;
        int32_t numMaps;
        std::vector<std::string> flagged;
    };
    const Case cases[] = {
        {"NumMaps 3", 3, {"map0", "map1", "map2"}},
        {"nummaps 0", 0, {}},
        {"nummaps -1", -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeEngine fresh;
        fresh.configLines = {c.line};
        settings.Reset();
        EngineLink::Instance().Bind(&fresh);
        settings.Load();
        EXPECT_EQ(settings.NumMaps(), c.numMaps);
        std::vector<std::string> flagged;
        const std::string prefix = "GetVariableFlags map";
        for (const auto& call : fresh.calls)
            if (call.rfind(prefix, 0) == 0 && std::isdigit(static_cast<unsigned char>(call[prefix.size()])))
                flagged.push_back(call.substr(prefix.size() - 3));
        EXPECT_EQ(flagged, c.flagged);
    }
}

TEST_F(SettingsTest, OutOfRangeBandwidthFromTheFileFallsBackToTheDefaultPreset) {
    for (const char* line : {"serverbandwidth 9", "serverbandwidth -1", "serverbandwidth 1e30"}) {
        SCOPED_TRACE(line);
        FakeEngine fresh;
        fresh.configLines = {line};
        settings.Reset();
        EngineLink::Instance().Bind(&fresh);
        settings.Load();
        EXPECT_EQ(settings.Values().serverbandwidth, kDefaultBandwidthIndex);
        EXPECT_EQ(fresh.Commands().back(), "sendbandwidth 32000");
    }
}

TEST_F(SettingsTest, SendBandwidthFollowsThePresetOrTheCustomValue) {
    settings.SetServerBandwidth(3);
    engine.ClearCalls();
    settings.ApplySendBandwidth();
    settings.SetServerBandwidth(5);
    settings.SetCustomBandwidth(12345);
    engine.ClearCalls();
    settings.ApplySendBandwidth();
    settings.SetServerBandwidth(0);
    settings.ApplySendBandwidth();
    EXPECT_EQ(engine.Commands(), (std::vector<std::string>{"sendbandwidth 12345",
                                                            "serverbandwidth 0",
                                                            "sendbandwidth 4000"}));
}

TEST_F(SettingsTest, TextGettersTurnOneBlankIntoEmptyExceptTheServerName) {
    engine.SetText("servername", " ");
    engine.SetText("adminname", " ");
    engine.SetText("adminemail", "ops@example.org");
    EXPECT_STREQ(settings.ServerName(), " ");
    EXPECT_STREQ(settings.AdminName(), "");
    EXPECT_STREQ(settings.AdminEmail(), "ops@example.org");
    EXPECT_STREQ(settings.ServerWebsite(), "");  // unknown to the engine: empty
}

TEST_F(SettingsTest, TextGettersNeverReadMoreThanTheirBuffer) {
    engine.SetText("servername", std::string(200, 'n'));
    engine.SetText("serverpassword", std::string(200, 'p'));
    EXPECT_EQ(std::strlen(settings.ServerName()), 63u);
    EXPECT_EQ(std::strlen(settings.ServerPassword()), 31u);
    EXPECT_EQ(CallsStartingWith("ReadVariableText").back(), "ReadVariableText 2 32");
}

TEST_F(SettingsTest, EmptyTextsTravelAsOneBlankButAnEmptyServerNameSendsNothing) {
    EXPECT_EQ(settings.SetServerName(""), SendResult::Sent);
    EXPECT_EQ(settings.SetAdminName(""), SendResult::Sent);
    EXPECT_EQ(settings.SetServerPassword("secret1"), SendResult::Sent);
    EXPECT_EQ(engine.Commands(), (std::vector<std::string>{"+adminname \" \"",
                                                            "+serverpassword \"secret1\""}));
    EXPECT_STREQ(settings.AdminName(), "");
}

TEST_F(SettingsTest, NumericSettersStoreAndSendWithSixDecimals) {
    settings.SetFfTeam(0.5f);
    settings.SetPlayerKickVote(60 * 0.01f);  // a slider at 60
    settings.SetMaxPlayers(32);
    settings.SetLan(1);
    EXPECT_EQ(engine.Commands(), (std::vector<std::string>{"ffteam 0.500000",
                                                            "playerkickvote 0.600000",
                                                            "maxplayers 32", "lan 1"}));
    EXPECT_EQ(settings.Values().playerkickvote, 0.59999996f);
    EXPECT_EQ(settings.Values().maxplayers, 32);
    EXPECT_TRUE(settings.IsLan());
}

TEST_F(SettingsTest, TextThatWouldBreakOutOfItsQuotesIsRefusedAndNothingIsSent) {
    for (const std::string& bad : {std::string("a\"b"), std::string("x\nquit"), std::string("x\r"),
                                  std::string("x\x01"), std::string("a\0b", 3)}) {
        EXPECT_EQ(settings.SetAdminName(bad), SendResult::UnsafeText);
        EXPECT_EQ(settings.SetServerName(bad), SendResult::UnsafeText);
    }
    EXPECT_EQ(settings.SetRotationMap(0, "worlds/a\nquit"), SendResult::UnsafeText);
    EXPECT_TRUE(engine.calls.empty());
    // Bytes above 127 are ordinary 8-bit text.
    EXPECT_EQ(settings.SetAdminName("J\xF6rg"), SendResult::Sent);
}

TEST_F(SettingsTest, ALineThatWouldNotFitIsRefusedWholeNeverCut) {
    // "+adminname \"" + text + "\"" is 13 characters longer than the text; 255 fit.
    EXPECT_EQ(settings.SetAdminName(std::string(242, 'a')), SendResult::Sent);
    EXPECT_EQ(settings.SetAdminName(std::string(243, 'a')), SendResult::TooLong);
    // "map0 " is five characters.
    EXPECT_EQ(settings.SetRotationMap(0, std::string(250, 'w')), SendResult::Sent);
    EXPECT_EQ(settings.SetRotationMap(0, std::string(251, 'w')), SendResult::TooLong);
    const auto commands = engine.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].size(), 255u);
    EXPECT_EQ(commands[1].size(), 255u);
    EXPECT_EQ(CallsStartingWith("SetVariableFlags").size(), 1u);  // only for the sent entry
}

TEST_F(SettingsTest, RotationEntriesAreSentFlaggedAndReadBack) {
    settings.SetRotationMap(2, "worlds/base");
    settings.SetNumMaps(3);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"ExecuteCommand map2 worlds/base",
                                                       "SetVariableFlags map2 5",
                                                       "ExecuteCommand nummaps 3"}));
    EXPECT_EQ(settings.NumMaps(), 3);
    EXPECT_EQ(settings.GetRotationMap(2), "worlds/base");
    engine.ClearCalls();
    EXPECT_EQ(settings.GetRotationMap(7), std::nullopt);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"FindVariable map7 0"}));
}

TEST_F(SettingsTest, WithoutAnEngineValuesAreStoredAndNothingIsSent) {
    EngineLink::Instance().Unbind();
    EXPECT_EQ(settings.SetTimeLimit(45), SendResult::NoEngine);
    EXPECT_EQ(settings.Values().timelimit, 45);
    EXPECT_EQ(settings.GetRotationMap(0), std::nullopt);
    EXPECT_STREQ(settings.AdminName(), "");
    EXPECT_EQ(settings.Save(), 0);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(SettingsTest, EveryEngineCallHoldsTheLockWhenOneIsGiven) {
    std::mutex lock;
    EngineLink::Instance().Bind(&engine, &lock);
    int checked = 0;
    engine.onCall = [&](const std::string&) {
        // Another thread must find the lock taken for the duration of every call.
        EXPECT_FALSE(std::async(std::launch::async, [&] {
                         const bool got = lock.try_lock();
                         if (got) lock.unlock();
                         return got;
                     }).get());
        ++checked;
    };
    settings.SetMaxPlayers(20);
    settings.SetRotationMap(0, "worlds/base");
    EXPECT_TRUE(settings.GetRotationMap(0).has_value());
    EXPECT_EQ(settings.Save(), 1);
    EXPECT_EQ(checked, 6);
    engine.onCall = nullptr;
    EXPECT_TRUE(lock.try_lock());  // and released after each
    lock.unlock();
}

}  // namespace
