#include "BanList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "CommandRules.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

}  // namespace

TEST(BanListTest, WrittenPrivatelyWithEveryByteKeptAndReadBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bans");
    BanList bans(path);
    EXPECT_EQ(bans.Load(), "");  // none yet
    const BanEntry odd{"tab\there \\ \x01 caf\xe9", 1'800'000'000, "web 192.0.2.7 (a1b2)",
                       "spam\n"};
    ASSERT_EQ(bans.Put(odd), "");
    ASSERT_EQ(bans.Put({"Quill", 0, "terminal", ""}), "");
    ASSERT_EQ(bans.Put({"QUILL", 0, "window", "again"}), "");  // the same name: replaced
    EXPECT_EQ(ReadAll(path), QByteArray("# tarnwick bans 1\n"
                                        "tab\\x09here \\\\ \\x01 caf\xe9\t1800000000\t"
                                        "web 192.0.2.7 (a1b2)\tspam\\x0a\n"
                                        "QUILL\t0\twindow\tagain\n"));
    struct stat info {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    BanList again(path);
    ASSERT_EQ(again.Load(), "");
    ASSERT_EQ(again.Entries().size(), 2u);
    EXPECT_EQ(again.Entries()[0].reason, odd.reason);
    // A name as a page shows it (UTF-8) finds the engine's Latin-1 bytes, until the ban ends.
    EXPECT_NE(again.Find("TAB\there \\ \x01 caf\xc3\xa9", 1'799'999'999), nullptr);
    EXPECT_EQ(again.Find(odd.name, 1'800'000'000), nullptr);
    bool found = false;
    EXPECT_EQ(again.Remove("quill", found), "");
    EXPECT_TRUE(found);
}

TEST(BanListTest, ADamagedFileIsRefusedWholeAndLeftAsItIs) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bans");
    const QByteArray header = "# tarnwick bans 1\n";
    QByteArray tooMany = header;
    for (std::size_t i = 0; i <= BanList::kMaxEntries; ++i) tooMany += "p\t0\tw\t\n";
    // clang-format off
    const std::pair<QByteArray, std::string> damaged[] = {
        {"", "line 1 is missing: the file is empty"},
        {"Quill\t0\tw\tr\n", "line 1 is not \"# tarnwick bans 1\""},
        {header + "Quill\t0\tw\n", "line 2 does not have four fields"},
        {header + "Quill\tsoon\tw\tr\n", "line 2 has no end time (seconds since 1970, or 0)"},
        {header + "Qu\\x41ill\t0\tw\tr\r\n", "line 2 holds a control character or a bad escape"},
        {header + "\t0\tw\tr\n", "line 2 has a name of no or more than 64 bytes"},
        {header + "Quill\t0\tw\t" + QByteArray(201, 'r') + "\n", "line 2 has a longer field than a ban may hold"},
        {tooMany, "line 1002 is more than the 1000 bans kept"},
    };
    // clang-format on
    for (const auto& [bytes, why] : damaged) {
        WriteAll(path, bytes);
        BanList bans(path);
        EXPECT_EQ(bans.Load(), path.toStdString() + ": " + why);
        EXPECT_TRUE(bans.IsDamaged());
        EXPECT_TRUE(bans.Entries().empty());
        EXPECT_NE(bans.Put({"Other", 0, "window", ""}), "");
        EXPECT_EQ(ReadAll(path), bytes) << why;
    }
}

TEST(BanCommandTest, NamesWithBlanksAreQuotedAndMinutesAndReasonAreOptional) {
    using Kind = command_rules::BanCommand::Kind;
    struct Case {
        const char* command;
        Kind kind;
        const char* name;
        int64_t minutes;
        const char* reason;
        bool usage;
    };
    const Case cases[] = {
        {"ban \"Big Bob\" 60 camping at spawn", Kind::Ban, "Big Bob", 60, "camping at spawn",
         false},
        {" BAN\tQuill ", Kind::Ban, "Quill", 0, "", false},
        {"ban Quill too fast", Kind::Ban, "Quill", 0, "too fast", false},
        {"ban \"a \\\"q\\\" \\\\ b\" 5", Kind::Ban, "a \"q\" \\ b", 5, "", false},
        {"ban \"Big Bob", Kind::Ban, "", 0, "", true},
        {"ban", Kind::Ban, "", 0, "", true},
        {"unban \"Big Bob\"", Kind::Unban, "Big Bob", 0, "", false},
        {"unban Bob now", Kind::Unban, "", 0, "", true},
        {"bans all", Kind::List, "", 0, "", true},
    };
    for (const Case& c : cases) {
        const std::optional<command_rules::BanCommand> ban =
            command_rules::ParseBanCommand(c.command);
        ASSERT_TRUE(ban) << c.command;
        EXPECT_EQ(ban->kind, c.kind) << c.command;
        EXPECT_EQ(!ban->usage.empty(), c.usage) << c.command;
        if (c.usage) continue;
        EXPECT_EQ(ban->name, c.name) << c.command;
        EXPECT_EQ(ban->minutes, c.minutes) << c.command;
        EXPECT_EQ(ban->reason, c.reason) << c.command;
    }
    EXPECT_GT(command_rules::ParseBanCommand("ban x 99999999999999")->minutes,
              BanList::kMaxMinutes);
    for (const char* other : {"banana", "say ban Quill", "kick 5"})
        EXPECT_FALSE(command_rules::ParseBanCommand(other)) << other;
}
