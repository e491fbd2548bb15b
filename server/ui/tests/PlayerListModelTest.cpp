#include <gtest/gtest.h>

#include <array>
#include <map>

#include "FormatConnectedTime.h"
#include "PlayerListRefresher.h"
#include "PlayerSort.h"

namespace {

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

}  // namespace
