#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "PlayerListRefresher.h"

namespace {

class CountingTable final : public PlayerTable {
public:
    struct Row {
        int32_t data = 0;
        std::array<std::string, kPlayerColumnCount> cells;
    };
    std::vector<Row> rows;
    std::array<int, kPlayerColumnCount> writes{};
    int dataWrites = 0;
    int maxRows = 1 << 20;
    bool refuseRemoval = false;

    int RowCount() const override { return static_cast<int>(rows.size()); }
    bool AppendRow() override {
        if (RowCount() >= maxRows) return false;
        rows.emplace_back();
        return true;
    }
    bool RemoveLastRow() override {
        if (refuseRemoval || rows.empty()) return false;
        rows.pop_back();
        return true;
    }
    int32_t RowData(int row) const override { return rows.at(row).data; }
    void SetRowData(int row, int32_t clientId) override {
        ++dataWrites;
        rows.at(row).data = clientId;
    }
    bool CellTextIs(int row, int column, std::string_view text) const override {
        return rows.at(row).cells.at(column) == text;
    }
    void SetCellText(int row, int column, std::string_view text) override {
        ++writes.at(column);
        rows.at(row).cells.at(column) = text;
    }
    int IdentityWrites() const { return writes[0] + writes[1] + writes[2] + writes[3]; }
    void ResetCounts() {
        writes = {};
        dataWrites = 0;
    }
};

PlayerRecord Player(int32_t id, const char* name, uint32_t team, int32_t specialty,
                    std::time_t join) {
    PlayerRecord record;
    record.clientId = id;
    std::strncpy(record.name, name, kPlayerNameLength);
    record.teamLabelId = team;
    record.specialtyLabelId = specialty;
    record.joinTime = join;
    return record;
}

class RefresherTest : public ::testing::Test {
protected:
    CountingTable table;
    std::time_t now = 1000;
    std::map<int32_t, float> pings;
    std::vector<int32_t> pingedIds;
    std::vector<uint32_t> labelLookups;
    PlayerListRefresher refresher{table,
                                  [this](uint32_t id) {
                                      labelLookups.push_back(id);
                                      return id == 1070   ? std::string("Red")
                                             : id == 1081 ? std::string("Medic")
                                                          : std::string();
                                  },
                                  [this](int32_t id) {
                                      pingedIds.push_back(id);
                                      return pings.count(id) ? pings[id] : 0.0f;
                                  },
                                  [this] { return now; }};

    std::vector<PlayerRecord> Roster(int count) {
        std::vector<PlayerRecord> records;
        for (int i = 0; i < count; ++i) {
            records.push_back(
                Player(100 + i, ("p" + std::to_string(i)).c_str(), 1070, 1081, 1000 - i));
        }
        return records;
    }
};

TEST_F(RefresherTest, RosterChangeWritesIdentityColumnsAndItemData) {
    std::vector<PlayerRecord> records = {Player(12, "Alice", 1070, 1081, 940),
                                         Player(-3, "Bob", 1073, 1073, 1000)};
    pings[12] = 0.0425f;
    refresher.Refresh(records, true);
    ASSERT_EQ(table.RowCount(), 2);
    const auto& first = table.rows[0];
    EXPECT_EQ(first.data, 12);
    EXPECT_EQ(first.cells,
              (std::array<std::string, 6>{"12", "Alice", "Red", "Medic", "42", "01m:00s"}));
    const auto& second = table.rows[1];
    EXPECT_EQ(second.cells, (std::array<std::string, 6>{"-3", "Bob", "", "", "0", "00m:00s"}));
    EXPECT_EQ(labelLookups, (std::vector<uint32_t>{1070, 1081, 1073, 1073}));
}

TEST_F(RefresherTest, QuietRefreshWritesOnlyPingAndTimeAndOnlyWhenTheyDiffer) {
    auto records = Roster(3);
    refresher.Refresh(records, true);
    table.ResetCounts();
    labelLookups.clear();
    pingedIds.clear();

    records[0].clientId = 999;  // a change without the mark is not shown
    std::strcpy(records[1].name, "renamed");
    refresher.Refresh(records, false);
    EXPECT_EQ(table.IdentityWrites(), 0);
    EXPECT_EQ(table.dataWrites, 0);
    EXPECT_EQ(table.writes[PingColumn] + table.writes[TimeColumn], 0);
    EXPECT_TRUE(labelLookups.empty());
    EXPECT_EQ(pingedIds, (std::vector<int32_t>{100, 101, 102}));  // the rows' item data
    EXPECT_EQ(table.rows[1].cells[NameColumn], "p1");

    pings[101] = 0.2f;
    now += 1;
    refresher.Refresh(records, false);
    EXPECT_EQ(table.writes[PingColumn], 1);
    EXPECT_EQ(table.writes[TimeColumn], 3);
    EXPECT_EQ(table.rows[1].cells[PingColumn], "200");

    // With the mark, only the cells whose text differs are written.
    table.ResetCounts();
    refresher.Refresh(records, true);
    EXPECT_EQ(table.writes[IdColumn], 1);
    EXPECT_EQ(table.writes[NameColumn], 1);
    EXPECT_EQ(table.writes[TeamColumn] + table.writes[SpecialtyColumn], 0);
    EXPECT_EQ(table.rows[0].data, 999);
}

TEST_F(RefresherTest, RowsGrowAndShrinkToTheRoster) {
    refresher.Refresh(Roster(5), true);
    ASSERT_EQ(table.RowCount(), 5);
    auto three = Roster(3);
    std::strcpy(three[2].name, "third");
    refresher.Refresh(three, true);
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.rows[2].cells[NameColumn], "third");

    refresher.Refresh({}, false);
    EXPECT_EQ(table.RowCount(), 0);

    // Rows added without the mark stay empty with item data 0 until a change is marked.
    pingedIds.clear();
    refresher.Refresh(Roster(2), false);
    ASSERT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.rows[1].cells[IdColumn], "");
    EXPECT_EQ(table.rows[1].cells[TimeColumn], "00m:01s");
    EXPECT_EQ(pingedIds, (std::vector<int32_t>{0, 0}));
}

TEST_F(RefresherTest, FailedInsertionsAndDeletionsLimitTheRowsCovered) {
    table.maxRows = 2;
    refresher.Refresh(Roster(4), true);
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.rows[1].cells[NameColumn], "p1");

    table.maxRows = 10;
    refresher.Refresh(Roster(4), true);
    table.refuseRemoval = true;
    pingedIds.clear();
    refresher.Refresh(Roster(1), true);
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(pingedIds.size(), 1u);  // only rows with a record are touched
    EXPECT_EQ(table.rows[3].cells[NameColumn], "p3");
}

TEST_F(RefresherTest, PingIsTruncatedSinglePrecisionMilliseconds) {
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(0.0425f), 42);
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(0.0f), 0);
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(0.9999f), 999);
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(-0.0019f), -1);  // toward zero
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(std::nanf("")), 0);
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(1e30f), INT32_MAX);
    EXPECT_EQ(PlayerListRefresher::PingMilliseconds(-1e30f), INT32_MIN);
}

TEST_F(RefresherTest, TimeSpansComeFromTheClockAndMayBeNegative) {
    std::vector<PlayerRecord> records = {Player(1, "a", 0, 0, now + 5),
                                         Player(2, "b", 0, 0, now - 3600)};
    refresher.Refresh(records, true);
    EXPECT_EQ(table.rows[0].cells[TimeColumn], "00m:-5s");
    EXPECT_EQ(table.rows[1].cells[TimeColumn], "01h:00m:00s");
    EXPECT_EQ(PlayerListRefresher::ConnectedSpan(INT64_MAX / 2, 0), INT32_MAX);
    EXPECT_EQ(PlayerListRefresher::ConnectedSpan(0, INT64_MAX / 2), INT32_MIN);
}

}  // namespace
