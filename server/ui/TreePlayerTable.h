// The player list view as the refresh's table. The refresh writes rows in the roster's order into
// a model; the view shows them through a sorting proxy, so sorting moves rows on the screen
// without rewriting a cell. The selection is the view's and follows its row when the rows move.
#pragma once

#include <QSortFilterProxyModel>
#include <QTreeView>
#include <optional>

#include "PlayerListModel.h"
#include "PlayerSort.h"
#include "PlayerTable.h"

class TreePlayerTable final : public PlayerTable {
public:
    explicit TreePlayerTable(QTreeView& view);

    // Headers "ID", "Name", "Team", "Specialty", "Ping", "Time", all left-aligned; Name, Team and
    // Specialty a fifth of the list's outer width each, the others fitted to their headers, the
    // last one filling the rest. A click on a header sorts by it. Call once the list has its size.
    void SetUpColumns();

    // Puts the rows back in order when a pass changed what they sort by; call after each pass.
    void KeepSorted();
    void SortBy(PlayerSortState state);
    PlayerSortState Sorting() const { return sorting; }

    // The client id of the first selected row from the top, if any row is selected.
    std::optional<int32_t> FirstSelectedClientId() const;
    // The row under a view index: its client id, and the name it shows.
    std::optional<int32_t> ClientIdAt(const QModelIndex& viewIndex) const;
    QString NameAt(const QModelIndex& viewIndex) const;

    const PlayerListModel& Model() const { return model; }

    int RowCount() const override { return model.RowCount(); }
    bool AppendRow() override;
    bool RemoveLastRow() override { return model.RemoveLastRow(); }
    int32_t RowData(int row) const override { return model.RowData(row); }
    void SetRowData(int row, int32_t clientId) override { model.SetRowData(row, clientId); }
    bool CellTextIs(int row, int column, std::string_view text) const override {
        return model.CellTextIs(row, column, text);
    }
    void SetCellText(int row, int column, std::string_view text) override {
        model.SetCellText(row, column, text);
    }
    int SelectedRow() const override;
    void SelectRow(int row) override;

private:
    class SortProxy final : public QSortFilterProxyModel {
    public:
        explicit SortProxy(const PlayerListModel& rows) : rows(rows) {}
        PlayerSortState state;

    protected:
        bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
            return rows.SortsBefore(left.row(), right.row(), state.column, state.descending);
        }

    private:
        const PlayerListModel& rows;
    };

    bool InOrder() const;
    int SourceRow(const QModelIndex& viewIndex) const;

    QTreeView& view;
    PlayerListModel model;  // before the proxy, which goes first
    SortProxy proxy{model};
    PlayerSortState sorting;
};
