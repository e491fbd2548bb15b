#include "EventLog.h"
#include "HostError.h"
#include "TempFile.h"
#include "WeaponTable.h"

#include <gtest/gtest.h>

namespace {

std::string ErrorOf(const std::string& contents, std::string* path = nullptr) {
    TempFile file(contents);
    if (path) *path = file.path;
    WeaponTable weapons;
    try {
        EventLog::Read(file.path, weapons);
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

TEST(EventLogTest, ReadsPlayersAndEventsSkippingCommentsAndBlanks) {
    TempFile file(
        "# a match\n\nplayer 1 101 red alice\n  player 4294967295 0 blue\r\n"
        "event 19 rifle 1 4294967295\nevent 15 - 4294967295\nevent -3 knife 1 -\n");
    WeaponTable weapons;
    const EventLog log = EventLog::Read(file.path, weapons);
    ASSERT_EQ(log.players.size(), 2u);
    EXPECT_EQ(log.players[0].name, "alice");
    EXPECT_EQ(log.players[1].name, "4294967295");  // no name: the key stands in
    EXPECT_EQ(log.players[1].key, 4294967295u);
    EXPECT_EQ(log.players[1].group, "blue");
    ASSERT_EQ(log.events.size(), 3u);
    EXPECT_EQ(log.events[0].code, 19);
    EXPECT_EQ(log.events[0].first, 0u);
    EXPECT_EQ(log.events[0].second, 1u);
    EXPECT_EQ(log.events[1].second, 1u);  // decay without a second: the first stands in
    EXPECT_EQ(log.events[2].code, -3);
    // One record per weapon name, handles counting from 1.
    EXPECT_EQ(log.events[0].weapon->value, 1u);
    EXPECT_EQ(log.events[1].weapon->value, 2u);
    EXPECT_EQ(weapons.Intern("rifle"), log.events[0].weapon);
}

TEST(EventLogTest, BadLinesNameFileAndLine) {
    const std::string players = "player 1 101 red\nplayer 2 102 blue\n";
    const struct {
        std::string line;
        std::string error;
    } cases[] = {
        {"event 19 rifle 1 3", ":3: unknown player 3"},
        {"event 19 rifle 9 1", ":3: unknown player 9"},
        {"event 19 rifle 1", ":3: event 19 needs a second player"},
        {"event 30 rifle 1 -", ":3: event 30 needs a second player"},
        {"event 19 rifle", ":3: expected \"event CODE WEAPON FIRST [SECOND]\""},
        {"event x19 rifle 1 2", ":3: not an event code: x19"},
        {"event 2147483648 rifle 1 2", ":3: not an event code"},
        {"event 19 rifle 1 2 extra", ":3: expected"},
        {"player 3 103", ":3: expected \"player KEY ALT_KEY GROUP [NAME]\""},
        {"player -1 103 red", ":3: not a player key"},
        {"player 4294967296 103 red", ":3: not a player key"},
        {"player 1 103 red", ":3: player key listed twice: 1"},
        {"player 3 101 red", ":3: alternate key listed twice: 101"},
        {"kill 1 2", ":3: unknown line kind \"kill\""},
    };
    for (const auto& c : cases) {
        std::string path;
        const std::string error = ErrorOf(players + c.line + "\n", &path);
        EXPECT_NE(error.find(path + c.error), std::string::npos) << c.line << " -> " << error;
    }
}

TEST(EventLogTest, PlayersMustBeListedBeforeTheirEvents) {
    EXPECT_NE(
        ErrorOf("event 19 rifle 1 2\nplayer 1 1 a\nplayer 2 2 b\n").find(":1: unknown player 1"),
        std::string::npos);
}

TEST(EventLogTest, MissingFileIsNamed) {
    WeaponTable weapons;
    try {
        EventLog::Read("/nonexistent/match.log", weapons);
        FAIL();
    } catch (const HostError& error) {
        EXPECT_STREQ(error.what(), "cannot open /nonexistent/match.log: No such file or directory");
    }
}

}  // namespace
