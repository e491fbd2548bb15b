#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "CommandHistory.h"
#include "CommandHistoryFile.h"
#include "ConsoleLog.h"
#include "ConsoleSearch.h"
#include "FormatConnectedTime.h"
#include "HealthGraphModel.h"
#include "PlayerListRefresher.h"
#include "PlayerSort.h"

namespace {

// Counts lines by their line feeds. How the real view renders line ends (a CR LF is one) is
// checked on the view itself, in WidgetTest.
class FakeTextControl final : public ConsoleTextControl {
public:
    std::string text;
    int limit = 1 << 30;
    bool redraw = true;

    int LineCount() const override { return 1 + int(std::count(text.begin(), text.end(), '\n')); }
    int LineStart(int line) const override {
        std::size_t position = 0;
        while (line-- > 0) position = text.find('\n', position) + 1;
        return int(position);
    }
    int TextLength() const override { return int(text.size()); }
    int TextLimit() const override { return limit; }
    void SetRedraw(bool enabled) override { redraw = enabled; }
    void DeleteTextBefore(int position) override {
        EXPECT_FALSE(redraw);
        text.erase(0, std::size_t(position));
    }
    void AppendAtEnd(std::string_view entry) override { text.append(entry); }
};

TEST(ConsoleLogTest, TrimsToTheLastQuarterBeforeAppendingAfter250LinesOrAtTheLimit) {
    FakeTextControl control;
    ConsoleLog log{control};
    for (int i = 0; i < 250; ++i) log.AppendConsoleText("line " + std::to_string(i));
    log.AppendConsoleText("new");  // 251 lines: 188 entries go, 62 stay, the new one makes 63
    EXPECT_EQ(control.LineCount(), 64);
    EXPECT_EQ(control.text.substr(0, 10), "line 188\r\n");
    control.limit = control.TextLength();  // at the limit it trims even for an empty text
    log.AppendConsoleText("");
    EXPECT_EQ(control.LineCount(), 64 - 48);
}

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

using Writes = std::array<int, kPlayerColumnCount>;

class CountingTable final : public PlayerTable {
public:
    std::vector<std::pair<int32_t, std::array<std::string, kPlayerColumnCount>>> rows;
    Writes writes{};
    int selected = -1;
    int maxRows = 100;
    bool refuseRemoval = false;

    int RowCount() const override { return int(rows.size()); }
    bool AppendRow() override { return RowCount() < maxRows && (rows.emplace_back(), true); }
    bool RemoveLastRow() override { return !refuseRemoval && (rows.pop_back(), true); }
    int32_t RowData(int row) const override { return rows.at(row).first; }
    void SetRowData(int row, int32_t id) override { rows.at(row).first = id; }
    bool CellTextIs(int row, int column, std::string_view text) const override {
        return rows.at(row).second.at(column) == text;
    }
    void SetCellText(int row, int column, std::string_view text) override {
        ++writes.at(column);
        rows.at(row).second.at(column) = text;
    }
    int SelectedRow() const override { return selected < RowCount() ? selected : -1; }
    void SelectRow(int row) override { selected = row; }
    std::string Row(int row) const {  // "data|id|name|team|specialty|ping|time"
        std::string out = std::to_string(rows.at(row).first);
        for (const std::string& cell : rows.at(row).second) out += "|" + cell;
        return out;
    }
};

class RefresherTest : public ::testing::Test {
protected:
    CountingTable table;
    std::time_t now = 1000;
    std::map<int32_t, float> pings;
    PlayerListRefresher refresher{table, [](uint32_t id) { return "L" + std::to_string(id); },
                                  [this](int32_t id) { return pings[id]; }, [this] { return now; }};
    const PlayerRecord p{7, 1, 2, "p", 0, 0, 0, 999};
};

TEST_F(RefresherTest, RosterChangeRewritesIdentityAndAQuietRefreshOnlyPingAndTime) {
    std::vector<PlayerRecord> records = {{12, 1070, 1081, "Alice", 0, 0, 0, 940},
                                         {-3, 3, 4, "Bob", 0, 0, 0, 1000}};
    pings[12] = 0.0425f;
    refresher.Refresh(records, true);
    EXPECT_EQ(table.Row(0) + " " + table.Row(1),
              "12|12|Alice|L1070|L1081|42|01m:00s -3|-3|Bob|L3|L4|0|00m:00s");

    table.writes = {};
    records[0].clientId = 999;  // not shown without the mark
    refresher.Refresh(records, false);
    EXPECT_EQ(table.writes, Writes{});  // texts that are already shown are not written again
    pings[12] = 0.2f;                   // asked by the row's item data, not the record's id
    now += 1;
    refresher.Refresh(records, false);
    EXPECT_EQ(table.writes, (Writes{0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(table.Row(0), "12|12|Alice|L1070|L1081|200|01m:01s");
    refresher.Refresh(records, true);
    EXPECT_EQ(table.writes, (Writes{1, 0, 0, 0, 2, 2}));
    EXPECT_EQ(table.Row(0), "999|999|Alice|L1070|L1081|0|01m:01s");
}

TEST_F(RefresherTest, RowsShrinkAndGrowAsFarAsTheTableAllows) {
    refresher.Refresh({p, p, p}, true);
    refresher.Refresh({}, false);
    refresher.Refresh({p, p}, false);  // rows added without the mark stay blank
    EXPECT_EQ(table.Row(1), "0|||||0|00m:01s");
    table.maxRows = 3;
    refresher.Refresh({p, p, p, p}, true);
    EXPECT_EQ(table.Row(2), "7|7|p|L1|L2|0|00m:01s");
    table.refuseRemoval = true;
    now += 60;
    refresher.Refresh({p}, true);
    EXPECT_EQ(table.Row(0) + table.Row(2), "7|7|p|L1|L2|0|01m:01s7|7|p|L1|L2|0|00m:01s");
}

TEST_F(RefresherTest, SelectionFollowsItsPlayerAndGoesWhenThePlayerLeaves) {
    const PlayerRecord a{1, 0, 0, "a", 0, 0, 0, 0}, b{2, 0, 0, "b", 0, 0, 0, 0},
        c{3, 0, 0, "c", 0, 0, 0, 0};
    refresher.Refresh({a, b, c}, true);
    table.selected = 1;
    refresher.Refresh({b, c, a}, false);  // rows keep their players until the roster is copied
    EXPECT_EQ(table.selected, 1);
    refresher.Refresh({c, a, b}, true);
    EXPECT_EQ(table.selected, 2);
    refresher.Refresh({c, a}, true);  // b was kicked: its row must not pass to someone else
    EXPECT_EQ(table.SelectedRow(), -1);
    table.selected = 0;
    refresher.Refresh({a, b}, true);  // c left, and its row now holds a
    EXPECT_EQ(table.SelectedRow(), -1);
}

TEST(RefresherConversionTest, PingAndSpanClampAndTimeText) {
    const float s[] = {0.0425f, -0.0019f, NAN, 1e30f, -1e30f};
    const int32_t ms[] = {42, -1, 0, INT32_MAX, INT32_MIN};  // truncated toward zero, clamped
    for (int i = 0; i < 5; ++i) EXPECT_EQ(PlayerListRefresher::PingMilliseconds(s[i]), ms[i]) << i;
    EXPECT_EQ(PlayerListRefresher::ConnectedSpan(INT64_MAX / 2, 0), INT32_MAX);
    EXPECT_EQ(PlayerListRefresher::ConnectedSpan(0, INT64_MAX / 2), INT32_MIN);
    const int32_t spans[] = {0,     59,        3599, 3600, 86399,  86400,
                             90061, INT32_MAX, -5,   -65,  -90061, INT32_MIN};
    const char* const texts[] = {
        "00m:00s",     "00m:59s",        "59m:59s",        "01h:00m:00s",
        "23h:59m:59s", "1d:00h:00m:00s", "1d:01h:01m:01s", "24855d:03h:14m:07s",
        "00m:-5s",     "-1m:-5s",        "-1m:-1s",        "-14m:-8s"};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(FormatConnectedTime(spans[i]), texts[i]) << spans[i];
}

TEST(PlayerSortTest, NumbersSortByValueAndTimesByTheSecondsTheyShow) {
    for (int32_t span : {0, 59, 3600, 90061, INT32_MAX, -5, -65})
        EXPECT_EQ(NumericSortKey(TimeColumn, FormatConnectedTime(span)), span) << span;
    EXPECT_EQ(NumericSortKey(PingColumn, "42"), 42);
    EXPECT_EQ(NumericSortKey(IdColumn, "-3"), -3);
    for (const char* text : {"", "4x", "01h:", "1q:00s", ":00s", "-", "99999999999d:00s"})
        EXPECT_EQ(NumericSortKey(TimeColumn, text), std::nullopt) << text;
    EXPECT_EQ(NumericSortKey(NameColumn, "12"), std::nullopt);

    // "9" before "10", an empty cell before every number, names without regard to case.
    EXPECT_LT(ComparePlayerCells(PingColumn, "9", 9, "10", 10), 0);
    EXPECT_LT(ComparePlayerCells(PingColumn, "", std::nullopt, "-1", -1), 0);
    EXPECT_EQ(ComparePlayerCells(NameColumn, "bob", {}, "BOB", {}), 0);
    EXPECT_LT(ComparePlayerCells(NameColumn, "alice", {}, "Bob", {}), 0);

    // Ascending, descending, then the roster's order; another column starts ascending.
    PlayerSortState state;
    state = state.Clicked(PingColumn);
    EXPECT_EQ(state, (PlayerSortState{PingColumn, false}));
    EXPECT_EQ(state.Clicked(PingColumn), (PlayerSortState{PingColumn, true}));
    EXPECT_EQ(state.Clicked(PingColumn).Clicked(PingColumn), PlayerSortState{});
    EXPECT_EQ(state.Clicked(PingColumn).Clicked(NameColumn), (PlayerSortState{NameColumn, false}));
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
    static mode_t Mode(const QString& file) {
        struct stat info {};
        return ::stat(file.toLocal8Bit().constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
};

TEST_F(CommandHistoryFileTest, SavedWholeForItsOwnerAndReadBack) {
    EXPECT_EQ(file.Load().entries.size(), 0u);  // no file yet: no problem either
    EXPECT_TRUE(file.Load().problem.empty());
    Write("old\n");
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0644), 0);
    const std::deque<std::string> entries = {"status", "say caf\xe9 100%", std::string(119, 'z')};
    ASSERT_EQ(file.Save(entries), "");
    EXPECT_EQ(Mode(path), 0600u);
    const CommandHistoryFile::Loaded loaded = file.Load();
    EXPECT_EQ(loaded.problem, "");
    EXPECT_EQ(std::deque<std::string>(loaded.entries.begin(), loaded.entries.end()), entries);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"history"});  // no leftovers

    CommandHistoryFile nowhere(dir.filePath("missing/history"));
    EXPECT_NE(nowhere.Save(entries).find("cannot be written"), std::string::npos);
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

HealthSample Sample(double rate, double tickP99Ms, int players) {
    HealthSample s;
    s.updateRate = rate;
    s.tickNs.p99 = static_cast<int64_t>(tickP99Ms * 1e6);
    s.players = players;
    return s;
}

TEST(HealthGraphModel, NewestAtTheRightEdgeOneSlotASecondEachLineOnItsOwnScale) {
    HealthGraphModel model;
    model.SetSamples({Sample(30, 2.5, 8), Sample(20, 60, 0), Sample(45, 1, 12)});
    const QRectF plot(10, 0, 599, 100);  // one pixel a slot
    const HealthGraphLayout layout = model.Layout(plot);
    EXPECT_EQ(layout.rateTop, 50);     // 45 steps/s is above the floor of 40
    EXPECT_EQ(layout.tickTopMs, 100);  // 60 ms
    EXPECT_EQ(layout.playersTop, 20);
    ASSERT_EQ(layout.rate.size(), 3u);
    EXPECT_EQ(layout.rate[2], QPointF(609, 10));  // 45 of 50
    EXPECT_EQ(layout.rate[0], QPointF(607, 40));
    EXPECT_EQ(layout.tickP99[1], QPointF(608, 40));
    EXPECT_EQ(layout.players[1], QPointF(608, 100));  // none sits on the bottom edge
    EXPECT_EQ(layout.players[2], QPointF(609, 40));

    EXPECT_EQ(model.SampleAt(plot, 609), std::optional<std::size_t>(2));
    EXPECT_EQ(model.SampleAt(plot, 607.4), std::optional<std::size_t>(0));
    EXPECT_EQ(model.SampleAt(plot, 700), std::optional<std::size_t>(2));
    EXPECT_EQ(model.SampleAt(plot, 606), std::nullopt);  // left of the oldest

    EXPECT_EQ(HealthGraphModel::NiceTop(0, 40), 40);
    EXPECT_EQ(HealthGraphModel::NiceTop(0.3, 5), 5);
    EXPECT_EQ(HealthGraphModel::NiceTop(5.01, 5), 10);
    EXPECT_EQ(HealthGraphModel::NiceTop(2001, 10), 5000);
    EXPECT_EQ(HealthGraphModel::NiceTop(std::nan(""), 10), 10);
}

TEST(HealthGraphModel, AFullHistoryFillsTheWidthAndOnlyItsNewestSamplesAreDrawn) {
    HealthHistory history;
    for (int i = 0; i < 1000; ++i) history.Add(Sample(i < 400 ? 5 : 30, 1, i % 7));
    HealthGraphModel model;
    model.SetSamples(history.Samples());
    const QRectF plot(0, 0, 599, 40);
    const HealthGraphLayout layout = model.Layout(plot);
    ASSERT_EQ(layout.rate.size(), 600u);
    EXPECT_EQ(layout.rate.front().x(), 0);
    EXPECT_EQ(layout.rate.back().x(), 599);
    EXPECT_TRUE(std::all_of(layout.rate.begin(), layout.rate.end(),
                            [](const QPointF& p) { return p.y() == 10; }));
    EXPECT_EQ(layout.players.back().y(), 40 - 40 * (999 % 7) / 10.0);

    // Handed more than ten minutes, it keeps the newest.
    std::vector<HealthSample> longer(700, Sample(5, 1, 0));
    longer.back() = Sample(30, 1, 0);
    model.SetSamples(longer);
    EXPECT_EQ(model.Samples().size(), 600u);
    EXPECT_EQ(model.Samples().back().updateRate, 30);
}

TEST(HealthGraphModel, TheTooltipGivesTheExactFiguresOfItsSample) {
    HealthSample s = Sample(29.94, 1.234, 7);
    s.steps = 30;
    s.tickNs.max = 51'000'000;
    s.overruns = 1;
    s.sendRate = 1500;
    const QString tip = HealthGraphModel::ToolTipText(s);
    for (const char* part : {"Update rate 29.9/s over 30 steps", "Tick p99 1.23 ms", "max 51.00 ms",
                             "Overruns 1", "Players 7", "Send 1500 B/s"})
        EXPECT_TRUE(tip.contains(QString::fromLatin1(part))) << part;
    EXPECT_TRUE(HealthGraphModel::LegendText(s).startsWith("Update rate 29.9/s"));
}

}  // namespace
