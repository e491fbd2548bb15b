#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFile>
#include <QTemporaryDir>

#include "CommandHistory.h"
#include "CommandHistoryFile.h"
#include "ConsoleLog.h"
#include "ConsoleSearch.h"

namespace {

TEST(ConsoleLogTest, EntryRules) {
    // One trailing control character goes (a CR LF keeps its CR), after the cut to 499.
    std::string buffer;
    // clang-format off
    for (const auto& [text, entry] : std::vector<std::pair<std::string, std::string>>{
             {"line\n", "line\r\n"}, {"crlf\r\n", "crlf\r\r\n"}, {"tab\t", "tab\r\n"},
             {"caf\xe9", "caf\xe9\r\n"}, {"\x7f", "\x7f\r\n"}, {"\n", "\r\n"}, {"", ""},
             {"100% %s %d %n", "100% %s %d %n\r\n"},
             {std::string(600, 'a'), std::string(499, 'a') + "\r\n"},
             {std::string(499, 'b') + "\n", std::string(499, 'b') + "\r\n"}})
        EXPECT_EQ(ConsoleLog::MakeEntry(text, buffer), entry) << text;
    // clang-format on
}

TEST(CommandHistoryTest, UpAndDownWalkTheCommandsSentAndGiveBackWhatWasTyped) {
    CommandHistory history;
    EXPECT_EQ(history.Older("typed"), std::nullopt);
    for (const char* command : {"status", "say hi", "say hi", "kick 3", "", "a\nb"})
        history.Add(command);
    history.Add(std::string(120, 'x'));  // longer than a command: never sent as such
    history.Add("a\nb");
    history.Add(std::string_view("a\0b", 3));
    ASSERT_EQ(history.Entries(), (std::deque<std::string>{"status", "say hi", "kick 3"}));

    // The walk itself is tested through the window's field (ServerDialogTest).
    EXPECT_EQ(history.Newer(), std::nullopt);  // not walking
    EXPECT_EQ(history.Older("x"), "kick 3");
    history.Add("kick 3");  // a repeat of the newest, and the walk ends
    EXPECT_EQ(history.Entries().size(), 3u);
    EXPECT_EQ(history.Older(""), "kick 3");

    for (int i = 0; i < 600; ++i) history.Add("c" + std::to_string(i));
    EXPECT_EQ(history.Entries().size(), CommandHistory::kMaxEntries);
    EXPECT_EQ(history.Entries().front(), "c100");
}

class CommandHistoryFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("history");
    CommandHistoryFile file{path};

    void Write(const QByteArray& bytes) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }
};

TEST_F(CommandHistoryFileTest, SavedWholeForItsOwnerAndReadBack) {
    EXPECT_EQ(file.Load().entries.size(), 0u);  // no file yet: no problem either
    EXPECT_TRUE(file.Load().problem.empty());
    Write("old\n");
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0644), 0);
    const std::deque<std::string> entries = {"status", "say caf\xe9 100%", std::string(119, 'z')};
    ASSERT_EQ(file.Save(entries), "");
    EXPECT_EQ(QFile::permissions(path),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const CommandHistoryFile::Loaded loaded = file.Load();
    EXPECT_EQ(loaded.problem, "");
    EXPECT_EQ(std::deque<std::string>(loaded.entries.begin(), loaded.entries.end()), entries);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"history"});  // no leftovers
}

TEST_F(CommandHistoryFileTest, AFileNoHistoryCouldBeGivesNoneAndSaysWhy) {
    Write("status\n\nsay hi");  // blank lines and a last line without its line feed are fine
    EXPECT_EQ(file.Load().entries, (std::vector<std::string>{"status", "say hi"}));

    QByteArray tooMany;
    for (int i = 0; i <= 500; ++i) tooMany += "c\n";
    // clang-format off
    for (const auto& [bytes, why] : std::vector<std::pair<QByteArray, std::string>>{
             {QByteArray("ok\nnul\0byte\n", 12), "line 2 is no command"},
             {"dos\r\n", "line 1 is no command"},
             {tooMany, "holds more than 500 commands"},
             {QByteArray(70000, 'a'), "is larger than 65536 bytes"}}) {
        // clang-format on
        Write(bytes);
        const CommandHistoryFile::Loaded loaded = file.Load();
        EXPECT_TRUE(loaded.entries.empty()) << why;
        EXPECT_EQ(loaded.problem, path.toStdString() + " " + why);
    }
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);  // a plain read would block
    EXPECT_EQ(file.Load().problem, path.toStdString() + " is not a regular file");
}

// Stepping and wrapping are tested on the find bar itself (WidgetTest).
TEST(ConsoleSearchTest, MatchesIgnoreCaseBeyondAsciiAndNeverOverlap) {
    qsizetype total = 0;
    const auto all =
        ConsoleSearch::FindAll(u"\u00c9t\u00e9 aaaa \u00e9T\u00c9", u"\u00e9t\u00e9", 1, &total);
    EXPECT_EQ(total, 2);
    EXPECT_EQ(all, (std::vector<TextMatch>{{0, 3}}));
    EXPECT_EQ(ConsoleSearch::FindAll(u"aaaa", u"aa", 5).size(), 2u);
    EXPECT_EQ(ConsoleSearch::Next(u"abc", u"", 0).match, std::nullopt);
}

}  // namespace
