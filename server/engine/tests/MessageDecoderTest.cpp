#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineMailbox.h"

namespace {

constexpr std::time_t kNow = 1'700'000'000;

std::string Message(char type, const std::string& body) {
    return std::string(1, type) + body;
}

class DecoderTest : public ::testing::Test {
protected:
    std::time_t now = kNow;
    int closeRequests = 0;
    EngineMailbox mailbox{[this] { ++closeRequests; }, [this] { return now; }};

    void Send(const std::string& message) {
        EXPECT_EQ(mailbox.OnEngineMessage(message.c_str()), 0);
    }
    void Add(int32_t id) { Send(Message('\x01', std::to_string(id))); }
    const PlayerRecord& Player(int32_t id) {
        const PlayerRecord* record = mailbox.Roster().Find(id);
        EXPECT_NE(record, nullptr) << "no player " << id;
        static const PlayerRecord missing;
        return record ? *record : missing;
    }
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        mailbox.TakePendingConsoleLines(lines);
        return lines;
    }
};

TEST_F(DecoderTest, IntegerFieldsFollowTheBasePrefixRule) {
    const struct {
        const char* written;
        int32_t expected;
    } cases[] = {
        {"12", 12},
        {"010", 8},
        {"0x10", 16},
        {"0X1f", 31},
        {"-7", -7},
        {"+9", 9},
        {" \t\n\v\f\r42", 42},
        {"08", 0},
        {"0x", 0},
        {"-0x10", -16},
        {"0xg", 0},
        {"007", 7},
        {"4294967295", -1},
    };
    for (const auto& c : cases) {
        Send(Message('\x01', c.written));
        EXPECT_NE(mailbox.Roster().Find(c.expected), nullptr) << c.written;
        EXPECT_EQ(Player(c.expected).clientId, c.expected) << c.written;
        mailbox.Clear();
    }
}

TEST_F(DecoderTest, IntegerFieldsStopAfterFifteenCharacters) {
    // The 16th digit starts the next field: here the team label id.
    Add(3);
    Send(Message('\x03', "3 Bob\n1234567890123456 -1"));
    EXPECT_EQ(Player(3).teamLabelId, static_cast<uint32_t>(123456789012345ULL));
    EXPECT_EQ(Player(3).specialtyLabelId, 6);
    // The sign counts toward the width.
    Send(Message('\x03', "3 Bob\n-12345678901234567 -1"));
    EXPECT_EQ(Player(3).teamLabelId, static_cast<uint32_t>(-12345678901234LL));
    EXPECT_EQ(Player(3).specialtyLabelId, 567);
}

TEST_F(DecoderTest, MissingIdsActOnIdZero) {
    Send(Message('\x01', ""));
    Send(Message('\x01', "  "));
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    EXPECT_NE(mailbox.Roster().Find(0), nullptr);
    Add(7);
    Send(Message('\x02', "abc"));  // no digit: id 0
    EXPECT_EQ(mailbox.Roster().Find(0), nullptr);
    EXPECT_NE(mailbox.Roster().Find(7), nullptr);
}

TEST_F(DecoderTest, PlayerAddedCreatesADefaultRecordAndReplacesItsKey) {
    Add(12);
    EXPECT_TRUE(mailbox.TakeRosterChanged());
    EXPECT_FALSE(mailbox.TakeRosterChanged());
    const PlayerRecord& added = Player(12);
    EXPECT_EQ(added.clientId, 12);
    EXPECT_STREQ(added.name, "NEWPLAYER");
    EXPECT_EQ(added.teamLabelId, 1073u);
    EXPECT_EQ(added.specialtyLabelId, 0);
    EXPECT_EQ(added.reserved1 | added.reserved2 | added.reserved3, 0);
    EXPECT_EQ(added.joinTime, kNow);

    Send(Message('\x03', "12 Alice\n1070 3 -1"));
    now += 100;
    Add(12);
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    EXPECT_STREQ(Player(12).name, "NEWPLAYER");
    EXPECT_EQ(Player(12).teamLabelId, 1073u);
    EXPECT_EQ(Player(12).joinTime, kNow + 100);

    // 65541 agrees with 5 in its low 16 bits.
    Add(5);
    Add(65541);
    EXPECT_EQ(mailbox.Roster().Size(), 2u);
    EXPECT_EQ(mailbox.Roster().Find(5)->clientId, 65541);
    Send(Message('\x02', "5"));
    EXPECT_EQ(mailbox.Roster().Find(65541), nullptr);
}

TEST_F(DecoderTest, PlayerRemovedMarksTheRosterEvenForUnknownIds) {
    Add(4);
    mailbox.TakeRosterChanged();
    Send(Message('\x02', "99"));
    EXPECT_TRUE(mailbox.TakeRosterChanged());
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    Send(Message('\x02', "4"));
    EXPECT_EQ(mailbox.Roster().Size(), 0u);
}

TEST_F(DecoderTest, PlayerUpdateAppliesEveryListedRecord) {
    Add(12);
    Add(13);
    Send(Message('\x03', "12 Alice\n1070 8 \n\t 13 Bob\n1071 1081 -1"));
    EXPECT_STREQ(Player(12).name, "Alice");
    EXPECT_EQ(Player(12).teamLabelId, 1070u);
    EXPECT_EQ(Player(12).specialtyLabelId, 1073);  // specialty code 8 is the default label
    EXPECT_STREQ(Player(13).name, "Bob");
    EXPECT_EQ(Player(13).teamLabelId, 1071u);
    EXPECT_EQ(Player(13).specialtyLabelId, 1081);

    // A team label id of 8 stays; hexadecimal works in every number field.
    Send(Message('\x03', "12 Al\n8 0x438 -1"));
    EXPECT_EQ(Player(12).teamLabelId, 8u);
    EXPECT_EQ(Player(12).specialtyLabelId, 1080);
}

TEST_F(DecoderTest, PlayerUpdateStopsAtAnUnknownPlayerOrTheEndMark) {
    Add(12);
    Add(13);
    mailbox.TakeRosterChanged();
    Send(Message('\x03', "12 A\n1070 1 99 X\n1071 2 13 C\n1072 3 -1"));
    EXPECT_STREQ(Player(12).name, "A");
    EXPECT_STREQ(Player(13).name, "NEWPLAYER");
    EXPECT_TRUE(mailbox.TakeRosterChanged());

    Send(Message('\x03', "-1 13 C\n1072 3"));
    EXPECT_STREQ(Player(13).name, "NEWPLAYER");
    EXPECT_TRUE(mailbox.TakeRosterChanged());

    // An empty body still marks the roster.
    Send(Message('\x03', ""));
    EXPECT_TRUE(mailbox.TakeRosterChanged());
}

TEST_F(DecoderTest, NameFieldTakesBytesAsTheyStand) {
    Add(12);
    Send(Message('\x03', "12  Alice\n1070 1 -1"));
    EXPECT_STREQ(Player(12).name, " Alice");  // the separator takes only the first space

    Send(Message('\x03', "12|\tTab\rCR\n1070 1 -1"));
    EXPECT_STREQ(Player(12).name, "\tTab\rCR");

    Send(Message('\x03', "12 \n1071 2 -1"));  // an empty name line is still a name
    EXPECT_STREQ(Player(12).name, "");
    EXPECT_EQ(Player(12).teamLabelId, 1071u);
    EXPECT_EQ(Player(12).specialtyLabelId, 2);
}

TEST_F(DecoderTest, OverLongNamesKeepThirtyAndReadOnFromTheThirtyFirst) {
    Add(12);
    Add(13);
    const std::string thirty(30, 'n');
    Send(Message('\x03', "12 " + thirty + "77 5 13 Bob\n1 2 -1"));
    EXPECT_EQ(std::string(Player(12).name), thirty);
    EXPECT_EQ(Player(12).teamLabelId, 77u);
    EXPECT_EQ(Player(12).specialtyLabelId, 5);
    EXPECT_STREQ(Player(13).name, "Bob");

    // The rest of the name is not a number: the team becomes 0, the specialty stays, the list ends.
    Send(Message('\x03', "13 " + thirty + "xyz\n1070 4 12 Z\n1 1 -1"));
    EXPECT_EQ(std::string(Player(13).name), thirty);
    EXPECT_EQ(Player(13).teamLabelId, 0u);
    EXPECT_EQ(Player(13).specialtyLabelId, 2);
    EXPECT_EQ(std::string(Player(12).name), thirty);
}

TEST_F(DecoderTest, ABodyEndingInsideARecordKeepsTheFieldsRead) {
    Add(12);
    Send(Message('\x03', "12 Alice\n1070 5 -1"));

    Send(Message('\x03', "12 Bob\n1071"));  // ends before the specialty
    EXPECT_STREQ(Player(12).name, "Bob");
    EXPECT_EQ(Player(12).teamLabelId, 1071u);
    EXPECT_EQ(Player(12).specialtyLabelId, 5);

    Send(Message('\x03', "12 Carol"));  // ends inside the name
    EXPECT_STREQ(Player(12).name, "Carol");
    EXPECT_EQ(Player(12).teamLabelId, 1071u);

    Send(Message('\x03', "12 "));  // ends before the name: the name empties, numbers stay
    EXPECT_STREQ(Player(12).name, "");
    EXPECT_EQ(Player(12).teamLabelId, 1071u);
    EXPECT_EQ(Player(12).specialtyLabelId, 5);

    Send(Message('\x03', "12"));  // ends before the separator
    EXPECT_STREQ(Player(12).name, "");

    Send(Message('\x03', "12 Dan\n-"));  // a sign without digits stores 0 and ends
    EXPECT_STREQ(Player(12).name, "Dan");
    EXPECT_EQ(Player(12).teamLabelId, 0u);
    EXPECT_EQ(Player(12).specialtyLabelId, 5);

    Send(Message('\x03', "12 Eve\n1072 ?"));  // a specialty without digits stores 0
    EXPECT_EQ(Player(12).teamLabelId, 1072u);
    EXPECT_EQ(Player(12).specialtyLabelId, 0);
}

TEST_F(DecoderTest, ConsoleLinesKeepTheFirstLineUpTo1023Bytes) {
    Send(Message('\x06', "abc\ndef"));
    Send(Message('\x06', " spaced \r"));
    Send(Message('\x06', ""));
    Send(Message('\x06', "\nlater"));
    Send(Message('\x06', std::string(1023, 'a') + "bcd"));
    Send(Message('\x06', std::string(1022, 'a') + "\nx"));
    Send(Message('\x06', "100% %s %d"));
    const std::vector<std::string> expected = {
        "abc", " spaced \r", "", "", std::string(1023, 'a'), std::string(1022, 'a'), "100% %s %d"};
    EXPECT_EQ(Lines(), expected);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(DecoderTest, TypeByteRulesAndIgnoredMessages) {
    Send(
        " \t\r\n\x01"
        "21");
    EXPECT_NE(mailbox.Roster().Find(21), nullptr);
    mailbox.TakeRosterChanged();

    mailbox.OnEngineMessage(nullptr);
    Send("");
    Send("   ");
    Send("1 22");  // the digit one is not a type byte
    Send(Message('\x04', "23"));
    Send(Message('\x05', "24"));
    Send(Message('\x08', "25"));
    Send(Message('\x7f', "26"));
    Send(Message('\xff', "27"));
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    EXPECT_FALSE(mailbox.TakeRosterChanged());
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(closeRequests, 0);
}

TEST_F(DecoderTest, CloseServerRequestsTheCloseAndKeepsTheState) {
    Add(1);
    mailbox.OnConsoleOutput("kept");
    Send(Message('\x07', "ignored"));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    EXPECT_EQ(Lines().size(), 1u);

    EngineMailbox withoutHandler;
    EXPECT_EQ(withoutHandler.OnEngineMessage("\x07"), 0);
}

}  // namespace
