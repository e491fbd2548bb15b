#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "FakeEngine.h"
#include "NumericLocale.h"
#include "ServerSettings.h"
#include "ServerVariableTable.h"

namespace {
using Lines = std::vector<std::string>;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Bind(engine); }
    void Bind(FakeEngine& e) {
        settings.Reset();
        access.Bind(&e);
    }
    static Lines Starting(const FakeEngine& e, const std::string& prefix) {
        Lines out;
        for (const auto& c : e.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    FakeEngine engine;
    FakeEngineAccess access;
    ServerSettings settings{access};
};

// clang-format off
const Lines kDefaultLines = {
    "+servername \"Tarnwick Server\"", "+adminname \" \"", "+adminemail \" \"",
    "+serverwebsite \" \"", "+serverpassword \" \"", "+remoteadminpassword \" \"",
    "timelimit 30.000000", "numrounds 5.000000", "teamflip 0.000000", "flipround 1.000000",
    "maxplayers 16.000000", "ffteam 0.500000", "ffallies 0.500000", "mirrordamage 1.000000",
    "mirrordamagepercent 0.500000", "tkpunish 1.000000", "numtkstokick 5.000000",
    "numcivstokick 5.000000", "kickafktime 8.000000", "voting 1.000000",
    "playerkickvote 0.600000", "mapvote 0.600000", "autoteambalance 1.000000",
    "logevents 0.000000", "nummaps 1.000000", "katime 30.000000", "allowuploads 1.000000",
    "map%d 0.000000", "dedicated 0.000000", "IncapacitatedTime 30.000000",
    "authenticate 0.000000", "voip 0.000000", "lan 0.000000", "serverbandwidth 2.000000",
    "custombandwidth 32000.000000", "mirrorcash 50.000000", "forceteambalance 0.000000",
    "map0 worlds/antarctica",
};
// clang-format on

// These tests run under a comma locale, taken from the environment by the Qt application object
// as in the program; without it they could not see a number written the locale's way.
TEST(NumericLocaleTest, TestsRunUnderACommaLocaleAndTheProgramPutsTheDotBack) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",")
        << "the de_DE.UTF-8 locale is missing (Debian package locales-all)";
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    UseCNumericLocale();
    char line[16];
    std::snprintf(line, sizeof line, "%f", 0.5);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_STREQ(line, "0.500000");
}

// The load pushes every default in order, then reads the file, flags and reads back, with
// numbers truncated toward zero.
TEST_F(SettingsTest, LoadPushesReadsFlagsAndReadsBack) {
    engine.configLines = {"timelimit 12.9", "maxplayers -3.7", "ffteam 0.25", "mirrorcash 1e12"};
    engine.SetNumber("maxplayers", 8);
    engine.SetVariableFlags("maxplayers", 4);
    engine.ClearCalls();
    settings.Load();
    Lines expected = kDefaultLines;
    expected.push_back("sendbandwidth 32000");
    EXPECT_EQ(engine.Commands(), expected);
    ASSERT_GT(engine.calls.size(), 40u);
    EXPECT_EQ(engine.calls[38], "ReadConfig tarnwick/server.cfg");
    EXPECT_EQ(engine.calls[39], "FindVariable NumMaps 0");
    EXPECT_EQ(Starting(engine, "GetVariableFlags ").size(), 38u);
    EXPECT_EQ(Starting(engine, "SetVariableFlags ").size(), 37u);  // maxplayers already flagged
    EXPECT_EQ(engine.Find("timelimit")->flags, 5u);
    EXPECT_EQ(settings.Values().playerkickvote, 0.6f);
    EXPECT_EQ(settings.GetRotationMap(0), "worlds/antarctica");
    EXPECT_EQ(settings.Values().timelimit, 12);
    EXPECT_EQ(settings.Values().maxplayers, -3);
    EXPECT_EQ(settings.Values().ffteam, 0.25f);
    EXPECT_EQ(settings.Values().mirrorcash, INT32_MAX);
}

TEST_F(SettingsTest, LoadFlagsExactlyNumMapsRotationEntriesAndFixesBadBandwidth) {
    struct Case {
        const char* line;
        int32_t numMaps;
        Lines flagged;
    };
    // clang-format off
    const Case cases[] = {{"NumMaps 3", 3, {"map0", "map1", "map2"}}, {"nummaps 0", 0, {}},
                          {"nummaps -1", -1, {}}, {"serverbandwidth 9", 1, {"map0"}},
                          {"serverbandwidth -1", 1, {"map0"}}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeEngine fresh;
        fresh.configLines = {c.line};
        Bind(fresh);
        settings.Load();
        EXPECT_EQ(settings.NumMaps(), c.numMaps);
        Lines flagged;
        for (const auto& call : Starting(fresh, "GetVariableFlags map"))
            if (std::isdigit(static_cast<unsigned char>(call[20])))
                flagged.push_back(call.substr(17));
        EXPECT_EQ(flagged, c.flagged);
        EXPECT_EQ(settings.Values().serverbandwidth, kDefaultBandwidthIndex);
        EXPECT_EQ(fresh.Commands().back(), "sendbandwidth 32000");
    }
}

TEST_F(SettingsTest, RotationLengthIsBoundedWhereverItIsSet) {
    ASSERT_EQ(ServerSettings::kMaxRotationEntries, 1024);
    for (const auto& [line, warning] : {std::pair<const char*, const char*>{"NumMaps 1024", ""},
                                        {"NumMaps 5000", "NumMaps 5000 is more than the 1024"}}) {
        SCOPED_TRACE(line);
        FakeEngine fresh;
        fresh.configLines = {line};
        Bind(fresh);
        ::testing::internal::CaptureStderr();
        settings.Load();
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.empty(), *warning == '\0') << said;
        EXPECT_NE(said.find(warning), std::string::npos) << said;
        EXPECT_EQ(settings.NumMaps(), 1024);
        EXPECT_EQ(Starting(fresh, "GetVariableFlags map1023").size(), 1u);
        EXPECT_TRUE(Starting(fresh, "GetVariableFlags map1024").empty());
    }
    Bind(engine);
    ::testing::internal::CaptureStderr();
    settings.SetNumMaps(5000);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("5000"), std::string::npos);
    EXPECT_EQ(settings.NumMaps(), 1024);
    settings.SetNumMaps(-1);
    EXPECT_EQ(settings.NumMaps(), -1);
    EXPECT_EQ(Starting(engine, "ExecuteCommand nummaps"),
              (Lines{"ExecuteCommand nummaps 1024", "ExecuteCommand nummaps -1"}));
}

TEST_F(SettingsTest, TextGettersTurnOneBlankIntoEmptyExceptTheServerNameAndStayInBounds) {
    engine.SetText("servername", " ");
    engine.SetText("adminname", " ");
    engine.SetText("serverpassword", std::string(200, 'p'));
    EXPECT_STREQ(settings.ServerName(), " ");
    EXPECT_STREQ(settings.AdminName(), "");
    EXPECT_EQ(std::string(settings.ServerPassword()), std::string(31, 'p'));
    // A page shows the texts whole, so that one too long for its field is refused, not cut.
    EXPECT_EQ(settings.WholeText(SettingText::ServerPassword), std::string(200, 'p'));
    EXPECT_EQ(settings.WholeText(SettingText::AdminName), "");
    EXPECT_EQ(settings.WholeText(SettingText::ServerName), " ");
    engine.SetText("serverwebsite", std::string(400, 'w'));
    EXPECT_EQ(settings.WholeText(SettingText::ServerWebsite), std::string(255, 'w'));
}

TEST_F(SettingsTest, SettersSendSixDecimalsAndEmptyTextAsOneBlank) {
    settings.SetFfTeam(0.5f);
    settings.SetPlayerKickVote(60 * 0.01f);  // a slider at 60
    settings.SetFfAllies(-0.25f);
    settings.SetMirrorDamagePercent(1e10f);
    settings.SetMaxPlayers(32);
    EXPECT_EQ(settings.SetServerName(""), SendResult::Sent);  // sends nothing
    settings.SetAdminName("");
    settings.SetServerBandwidth(0);
    settings.ApplySendBandwidth();
    EXPECT_EQ(engine.Commands(),
              (Lines{"ffteam 0.500000", "playerkickvote 0.600000", "ffallies -0.250000",
                     "mirrordamagepercent 10000000000.000000", "maxplayers 32", "+adminname \" \"",
                     "serverbandwidth 0", "sendbandwidth 4000"}));
    EXPECT_EQ(settings.Values().playerkickvote, 0.59999996f);
}

TEST_F(SettingsTest, UnsafeOrOverlongTextIsRefusedWhole) {
    for (const std::string& bad : {std::string("a\"b"), std::string("x\nquit"),
                                   std::string("x\x01"), std::string("a\0b", 3)}) {
        EXPECT_EQ(settings.SetAdminName(bad), SendResult::UnsafeText);
        EXPECT_EQ(settings.SetServerName(bad), SendResult::UnsafeText);
    }
    EXPECT_EQ(settings.SetRotationMap(0, "worlds/a\nquit"), SendResult::UnsafeText);
    EXPECT_TRUE(engine.calls.empty());
    // 13 and 5 characters around the text; 255 fit, 256 do not.
    EXPECT_EQ(settings.SetAdminName(std::string(242, 'a')), SendResult::Sent);
    EXPECT_EQ(settings.SetAdminName(std::string(243, 'a')), SendResult::TooLong);
    EXPECT_EQ(settings.SetRotationMap(0, std::string(250, 'w')), SendResult::Sent);
    EXPECT_EQ(settings.SetRotationMap(0, std::string(251, 'w')), SendResult::TooLong);
    const Lines commands = engine.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].size(), 255u);
    EXPECT_EQ(commands[1].size(), 255u);
}

TEST_F(SettingsTest, WithoutAnEngineValuesAreStoredAndNothingIsSent) {
    access.Unbind();
    EXPECT_EQ(settings.SetTimeLimit(45), SendResult::NoEngine);
    EXPECT_EQ(settings.Values().timelimit, 45);
    EXPECT_EQ(settings.GetRotationMap(0), std::nullopt);
    EXPECT_EQ(settings.Save(), 0);
    EXPECT_TRUE(engine.calls.empty());
}

}  // namespace
