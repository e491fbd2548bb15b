// One player-list refresh pass on the real list view (offscreen), with and without a roster
// change, in the roster's order and sorted by ping. Counters: cells written per pass, and identity
// cells (ID, name, team, specialty).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeView>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PlayerListRefresher.h"
#include "TreePlayerTable.h"

namespace {

class CountingTable final : public PlayerTable {
public:
    explicit CountingTable(PlayerTable& inner) : inner(inner) {}
    int RowCount() const override { return inner.RowCount(); }
    bool AppendRow() override { return inner.AppendRow(); }
    bool RemoveLastRow() override { return inner.RemoveLastRow(); }
    int32_t RowData(int row) const override { return inner.RowData(row); }
    void SetRowData(int row, int32_t id) override { inner.SetRowData(row, id); }
    bool CellTextIs(int row, int column, std::string_view text) const override {
        return inner.CellTextIs(row, column, text);
    }
    void SetCellText(int row, int column, std::string_view text) override {
        ++cells;
        if (column < PingColumn) ++identityCells;
        inner.SetCellText(row, column, text);
    }
    int SelectedRow() const override { return inner.SelectedRow(); }
    void SelectRow(int row) override { inner.SelectRow(row); }
    int64_t cells = 0;
    int64_t identityCells = 0;

private:
    PlayerTable& inner;
};

std::vector<PlayerRecord> Roster(int count, int rotation) {
    static const char* const names[] = {"Alice", "Bob", "Carol", "Dan", "Eve", "Frank", "Grace"};
    std::vector<PlayerRecord> records(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        int who = (i + rotation) % count;
        PlayerRecord& r = records[static_cast<std::size_t>(i)];
        r.clientId = who + 1;
        std::snprintf(r.name, sizeof r.name, "%s%d", names[who % 7], who);
        r.teamLabelId = 1070 + static_cast<uint32_t>(who % 3);
        r.specialtyLabelId = 1080 + who % 8;
        r.joinTime = 1'700'000'000 - who * 37;
    }
    return records;
}

// Arguments: player count, roster change (0 or 1).
void RefreshPass(benchmark::State& state, PlayerSortState sorting) {
    const int players = static_cast<int>(state.range(0));
    const bool changed = state.range(1) != 0;
    QTreeView tree;
    tree.resize(640, 400);
    TreePlayerTable treeTable(tree);
    treeTable.SetUpColumns();
    treeTable.SortBy(sorting);
    tree.show();
    CountingTable table(treeTable);

    int64_t pass = 0;
    std::time_t now = 1'700'000'100;
    PlayerListRefresher refresher(
        table,
        [](uint32_t id) {
            static const char* const labels[] = {"Red Team", "Blue Team", "Spectators",
                                                 "Unassigned"};
            return id >= 1070 && id <= 1073 ? std::string(labels[id - 1070]) : std::string("Medic");
        },
        // A quarter of the players' pings move on every pass.
        [&pass](int32_t id) {
            return 0.040f + 0.001f * static_cast<float>((id + (id % 4 == 0 ? pass : 0)) % 20);
        },
        [&now] { return now; });

    const std::vector<PlayerRecord> rosters[2] = {Roster(players, 0), Roster(players, 1)};
    refresher.Refresh(rosters[0], true);
    treeTable.KeepSorted();
    table.cells = table.identityCells = 0;

    for (auto _ : state) {
        ++pass;
        if (pass % 10 == 0) ++now;  // the clock moves one second every ten passes of 100 ms
        refresher.Refresh(rosters[changed ? pass % 2 : 0], changed);
        treeTable.KeepSorted();
    }
    QApplication::processEvents();
    state.counters["cells_per_pass"] = benchmark::Counter(static_cast<double>(table.cells) /
                                                          static_cast<double>(state.iterations()));
    state.counters["identity_cells_per_pass"] = benchmark::Counter(
        static_cast<double>(table.identityCells) / static_cast<double>(state.iterations()));
}

void BM_RefreshPass(benchmark::State& state) {
    RefreshPass(state, {});
}

// Every pass moves rows: a quarter of the pings change.
void BM_RefreshPassSortedByPing(benchmark::State& state) {
    RefreshPass(state, {PingColumn, false});
}

BENCHMARK(BM_RefreshPass)
    ->ArgNames({"players", "changed"})
    ->Args({64, 0})
    ->Args({64, 1})
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshPassSortedByPing)
    ->ArgNames({"players", "changed"})
    ->Args({64, 0})
    ->Args({64, 1})
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
