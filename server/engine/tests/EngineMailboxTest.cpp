#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineMailbox.h"

namespace {

TEST(EngineMailboxTest, ConsoleOutputQueuesUnalteredCopiesInOrder) {
    EngineMailbox mailbox;
    std::string text = "first\n";
    mailbox.OnConsoleOutput(text.c_str());
    text[0] = 'X';  // the queue owns its copy
    mailbox.OnConsoleOutput(nullptr);
    mailbox.OnEngineMessage(
        "\x06"
        "second");
    mailbox.OnConsoleOutput("third\r\n");

    std::vector<std::string> lines = {"stale"};
    mailbox.TakePendingConsoleLines(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"first\n", "second", "third\r\n"}));
    mailbox.TakePendingConsoleLines(lines);
    EXPECT_TRUE(lines.empty());
}

TEST(EngineMailboxTest, CopyRosterFollowsIterationOrderAndReplacesTheTarget) {
    EngineMailbox mailbox;
    for (int id : {3, 70000, 9, 12}) mailbox.OnEngineMessage(("\x01" + std::to_string(id)).c_str());
    std::vector<PlayerRecord> copy(5);
    mailbox.CopyRoster(copy);
    ASSERT_EQ(copy.size(), 4u);
    std::vector<PlayerRecord> again;
    mailbox.CopyRoster(again);
    for (std::size_t i = 0; i < copy.size(); ++i) EXPECT_EQ(copy[i].clientId, again[i].clientId);
}

TEST(EngineMailboxTest, ClearFreesRecordsAndLinesButNotTheChangedMark) {
    EngineMailbox mailbox;
    mailbox.OnEngineMessage(
        "\x01"
        "1");
    mailbox.OnConsoleOutput("x");
    mailbox.Clear();
    EXPECT_EQ(mailbox.Roster().Size(), 0u);
    std::vector<std::string> lines;
    mailbox.TakePendingConsoleLines(lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(mailbox.TakeRosterChanged());
    mailbox.Clear();  // a second teardown is harmless
}

TEST(EngineMailboxTest, DefaultClockIsTheCalendarClock) {
    EngineMailbox mailbox;
    std::time_t before = std::time(nullptr);
    mailbox.OnEngineMessage(
        "\x01"
        "1");
    std::time_t after = std::time(nullptr);
    const PlayerRecord* record = mailbox.Roster().Find(1);
    ASSERT_NE(record, nullptr);
    EXPECT_GE(record->joinTime, before);
    EXPECT_LE(record->joinTime, after);
}

}  // namespace
