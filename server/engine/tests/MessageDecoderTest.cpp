#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "EngineMailbox.h"
#include "SscanfMessageDecoder.h"

namespace {

using Strings = std::vector<std::string>;
std::string M(int type, const std::string& body) {
    return char(type) + body;
}
std::string A(const std::string& id) {
    return M(1, id);
}
std::string U(const std::string& body) {
    return M(3, body);
}

// The roster as "id|name|team|specialty;" per record, by client id.
std::string Dump(const PlayerRoster& roster) {
    std::vector<PlayerRecord> records;
    roster.CopyTo(records);
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.clientId < b.clientId; });
    std::string out;
    for (const PlayerRecord& r : records)
        out += std::to_string(r.clientId) + "|" + r.name + "|" + std::to_string(r.teamLabelId) +
               "|" + std::to_string(r.specialtyLabelId) + ";";
    return out;
}

Strings Take(EngineMailbox& mailbox) {
    Strings lines{"stale"};
    mailbox.TakePendingConsoleLines(lines);
    return lines;
}

TEST(DecoderTest, FieldRules) {
    const std::string n30(30, 'n'), fresh = "|NEWPLAYER|1073|0;";
    const std::string alice[] = {A("12"), U("12 Alice\n1070 5 -1")};
    const struct {
        Strings messages;
        std::string roster;
    } cases[] = {
        // Integers: base prefix, sign, leading space, at most 15 characters with the sign.
        {{A("010")}, "8" + fresh},
        {{A("0x10")}, "16" + fresh},
        {{A("-0X1f")}, "-31" + fresh},
        {{A(" \t\n\v\f\r42")}, "42" + fresh},
        {{A("08")}, "0" + fresh},
        {{A("0x")}, "0" + fresh},
        {{A("4294967295")}, "-1" + fresh},
        {{A("3"), U("3 B\n1234567890123456 -1")}, "3|B|2249056121|6;"},
        {{A("3"), U("3 B\n-12345678901234567 -1")}, "3|B|2352074766|567;"},
        {{A(""), A("  ")}, "0" + fresh},
        {{A("0"), A("7"), M(2, "abc")}, "7" + fresh},
        // Adding replaces the record under the same low 16 bits of the id.
        {{A("12"), U("12 Alice\n1070 3 -1"), A("12")}, "12" + fresh},
        {{A("5"), A("65541")}, "65541" + fresh},
        {{A("5"), A("65541"), M(2, "5")}, ""},
        {{A("4"), M(2, "99")}, "4" + fresh},
        // Updates: every record up to the end mark or an unknown id; specialty 8 is the default.
        {{A("12"), A("13"), U("12 Alice\n1070 8 \n\t 13 Bob\n1071 1081 -1")},
         "12|Alice|1070|1073;13|Bob|1071|1081;"},
        {{A("12"), U("12 Al\n8 0x438 -1")}, "12|Al|8|1080;"},
        {{A("12"), A("13"), U("12 A\n1070 1 99 X\n1071 2 13 C\n1072 3 -1")},
         "12|A|1070|1;13" + fresh},
        {{A("13"), U("-1 13 C\n1072 3")}, "13" + fresh},
        // Names: one separator byte, bytes as they stand, at most 30 then the numbers read on.
        {{A("12"), U("12  Alice\n1070 1 -1")}, "12| Alice|1070|1;"},
        {{A("12"), U("12|\tTab\rCR\n1070 1 -1")}, "12|\tTab\rCR|1070|1;"},
        {{A("12"), U("12 \n1071 2 -1")}, "12||1071|2;"},
        {{A("12"), A("13"), U("12 " + n30 + "77 5 13 Bob\n1 2 -1")},
         "12|" + n30 + "|77|5;13|Bob|1|2;"},
        {{A("12"), A("13"), U("13 Bob\n1 2 -1"), U("13 " + n30 + "xyz\n1070 4 12 Z\n1 1 -1")},
         "12" + fresh + "13|" + n30 + "|0|2;"},
        // A body ending inside a record keeps what was read.
        {{alice[0], alice[1], U("12 Bob\n1071")}, "12|Bob|1071|5;"},
        {{alice[0], alice[1], U("12 Carol")}, "12|Carol|1070|5;"},
        {{alice[0], alice[1], U("12 ")}, "12||1070|5;"},
        {{alice[0], alice[1], U("12")}, "12||1070|5;"},
        {{alice[0], alice[1], U("12 Dan\n-")}, "12|Dan|0|5;"},
        {{alice[0], alice[1], U("12 Eve\n1072 ?")}, "12|Eve|1072|0;"},
        // White space may precede the type byte; other types are ignored.
        {{" \t\r\n" + A("21")}, "21" + fresh},
        {{A("1"), "", "   ", "1 22", M(4, "23"), M(5, "24"), M(8, "25"), M(0x7f, "26"),
          M(0xff, "27")},
         "1" + fresh},
    };
    for (const auto& c : cases) {
        EngineMailbox mailbox;
        for (const std::string& m : c.messages) EXPECT_EQ(mailbox.OnEngineMessage(m.c_str()), 0);
        EXPECT_EQ(Dump(mailbox.Roster()), c.roster) << testing::PrintToString(c.messages);
        EXPECT_TRUE(Take(mailbox).empty());
    }
}

TEST(DecoderTest, RosterChangedMarkConsoleLinesAndClose) {
    int closes = 0;
    EngineMailbox mailbox([&closes] { ++closes; });
    for (const std::string& m : {A("4"), M(2, "99"), U(""), U("-1 4 X\n1 1"), U("99 X\n1 1")}) {
        mailbox.OnEngineMessage(m.c_str());
        EXPECT_TRUE(mailbox.TakeRosterChanged()) << m;
        EXPECT_FALSE(mailbox.TakeRosterChanged());
    }
    for (const std::string& m : {std::string(), M(4, "4"), M(5, "4"), M(8, "4")})
        mailbox.OnEngineMessage(m.c_str());
    mailbox.OnEngineMessage(nullptr);
    EXPECT_FALSE(mailbox.TakeRosterChanged());
    EXPECT_EQ(closes, 0);

    for (const std::string& m :
         Strings{"abc\ndef", " spaced \r", "", "\nlater", "100% %s %d",
                 std::string(1023, 'a') + "bcd", std::string(1022, 'a') + "\nx"})
        mailbox.OnEngineMessage(M(6, m).c_str());
    EXPECT_EQ(Take(mailbox), (Strings{"abc", " spaced \r", "", "", "100% %s %d",
                                      std::string(1023, 'a'), std::string(1022, 'a')}));

    mailbox.OnEngineMessage(M(7, "ignored").c_str());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(mailbox.Roster().Size(), 1u);
    EXPECT_EQ(EngineMailbox().OnEngineMessage("\x07"), 0);  // no handler
}

TEST(EngineMailboxTest, TakeMovesCopiesInOrderAndClearKeepsTheChangedMark) {
    EngineMailbox mailbox;
    const std::time_t before = std::time(nullptr);
    std::string text = "first\n";
    mailbox.OnConsoleOutput(text.c_str());
    text[0] = 'X';  // the queue owns its copy
    mailbox.OnConsoleOutput(nullptr);
    mailbox.OnEngineMessage(M(6, "second").c_str());
    mailbox.OnConsoleOutput("third\r\n");
    EXPECT_EQ(Take(mailbox), (Strings{"first\n", "second", "third\r\n"}));
    EXPECT_TRUE(Take(mailbox).empty());

    mailbox.OnEngineMessage(A("1").c_str());
    ASSERT_NE(mailbox.Roster().Find(1), nullptr);
    EXPECT_GE(mailbox.Roster().Find(1)->joinTime, before);  // the calendar clock by default
    EXPECT_LE(mailbox.Roster().Find(1)->joinTime, std::time(nullptr));
    mailbox.OnConsoleOutput("x");
    mailbox.Clear();
    EXPECT_EQ(mailbox.Roster().Size(), 0u);
    EXPECT_TRUE(Take(mailbox).empty());
    EXPECT_TRUE(mailbox.TakeRosterChanged());
}

TEST(DecoderTest, AgreesWithTheSscanfBaselineOnRandomMessages) {
    // clang-format off
    static const char* const pieces[] = {
        " ", "\t", "\n", "\r", "-", "+", "0", "0x", "0X", "1", "12", "010", "0x1F", "-1", "65541",
        "5", "99999999999999999", "fe", "Alice", "%s", "%d", "Bob the builder of very long names",
        "\xe9", "\x7f", "8", "1073", "x", "?", "\x01", "\x03", "\x06"};
    // clang-format on
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    RecordingMessageTarget baseline;
    int closes = 0;
    EngineMailbox mailbox([&closes] { ++closes; }, [] { return std::time_t{0}; });
    for (int i = 0; i < 200000; ++i) {
        std::string message = pick(4) == 0 ? " " : "";
        message += static_cast<char>(pick(10) == 0 ? 1 + pick(255) : 1 + pick(7));
        for (int count = pick(16); count > 0; --count)
            message += pick(8) == 0 ? std::string(1, char(1 + pick(255)))
                                    : pieces[pick(std::size(pieces))];
        mailbox.OnEngineMessage(message.c_str());
        SscanfDecodeEngineMessage(message.c_str(), baseline);
        ASSERT_EQ(mailbox.TakeRosterChanged(), std::exchange(baseline.changed, false)) << i;
        ASSERT_EQ(Take(mailbox), std::exchange(baseline.lines, {})) << i;
        ASSERT_EQ(closes, baseline.closes) << i;
        ASSERT_EQ(Dump(mailbox.Roster()), Dump(baseline.roster)) << i;
        if (mailbox.Roster().Size() > 40) {
            mailbox.Clear();
            baseline.roster.Clear();
        }
    }
}

}  // namespace
