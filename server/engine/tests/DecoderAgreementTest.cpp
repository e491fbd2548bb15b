// The decoder and the sscanf baseline follow the same field rules, so on any input they must
// leave the same roster, console queue and close requests behind.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "EngineMailbox.h"
#include "SscanfMessageDecoder.h"

namespace {

class BaselineTarget final : public EngineMessageTarget {
public:
    PlayerRoster roster;
    bool changed = false;
    std::vector<std::string> lines;
    int closes = 0;

    void AddPlayer(int32_t clientId) override { roster.Add(clientId, 0); }
    void RemovePlayer(int32_t clientId) override { roster.Remove(clientId); }
    PlayerRecord* FindPlayer(int32_t clientId) override { return roster.Find(clientId); }
    void MarkRosterChanged() override { changed = true; }
    void QueueConsoleLine(std::string_view line) override { lines.emplace_back(line); }
    void CloseServer() override { ++closes; }
};

std::string RandomMessage(std::mt19937& random) {
    static const char* const pieces[] = {
        " ",
        "\t",
        "\n",
        "\r",
        "-",
        "+",
        "0",
        "0x",
        "0X",
        "1",
        "12",
        "010",
        "0x1F",
        "-1",
        "65541",
        "5",
        "99999999999999999",
        "fe",
        "Alice",
        "Bob the builder of very long names",
        "%s",
        "%d",
        "\xe9",
        "\x7f",
        "8",
        "1073",
        "x",
        "?",
        "\x01",
        "\x03",
        "\x06",
    };
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string message;
    if (pick(4) == 0) message += ' ';
    message += static_cast<char>(pick(10) == 0 ? 1 + pick(255) : 1 + pick(7));
    int count = pick(16);
    for (int i = 0; i < count; ++i) {
        if (pick(8) == 0) {
            message += static_cast<char>(1 + pick(255));
        } else {
            message += pieces[pick(std::size(pieces))];
        }
    }
    return message;
}

TEST(DecoderAgreementTest, DecoderAndBaselineAgreeOnRandomMessages) {
    std::mt19937 random(20240611);
    BaselineTarget baseline;
    int closes = 0;
    EngineMailbox counted([&closes] { ++closes; }, [] { return std::time_t{0}; });

    for (int i = 0; i < 200000; ++i) {
        std::string message = RandomMessage(random);
        counted.OnEngineMessage(message.c_str());
        SscanfDecodeEngineMessage(message.c_str(), baseline);

        ASSERT_EQ(counted.TakeRosterChanged(), std::exchange(baseline.changed, false)) << i;
        std::vector<std::string> lines;
        counted.TakePendingConsoleLines(lines);
        ASSERT_EQ(lines, baseline.lines) << i;
        baseline.lines.clear();
        ASSERT_EQ(closes, baseline.closes);

        std::vector<PlayerRecord> ours, theirs;
        counted.CopyRoster(ours);
        baseline.roster.CopyTo(theirs);
        ASSERT_EQ(ours.size(), theirs.size()) << i;
        for (std::size_t k = 0; k < ours.size(); ++k) {
            ASSERT_EQ(ours[k].clientId, theirs[k].clientId) << i;
            ASSERT_EQ(ours[k].teamLabelId, theirs[k].teamLabelId) << i;
            ASSERT_EQ(ours[k].specialtyLabelId, theirs[k].specialtyLabelId) << i;
            ASSERT_STREQ(ours[k].name, theirs[k].name) << i;
        }
        if (ours.size() > 40) {
            counted.Clear();
            baseline.roster.Clear();
        }
    }
}

}  // namespace
