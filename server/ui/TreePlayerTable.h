// The player list widget as the refresh's table: one top-level item per row, the client id in
// Qt::UserRole of column 0, texts shown by the byte rule of EngineText.
#pragma once

#include <QTreeWidget>
#include <optional>

#include "PlayerTable.h"

class TreePlayerTable final : public PlayerTable {
public:
    explicit TreePlayerTable(QTreeWidget& tree) : tree(tree) {}

    // Headers "ID", "Name", "Team", "Specialty", "Ping", "Time", all left-aligned; Name, Team and
    // Specialty a fifth of the list's outer width each, the others fitted to their headers, the
    // last one filling the rest. Call once the list has its size.
    static void SetUpColumns(QTreeWidget& tree);

    // The client id of the first selected row from the top, if any row is selected.
    std::optional<int32_t> FirstSelectedClientId() const;

    int RowCount() const override { return tree.topLevelItemCount(); }
    bool AppendRow() override;
    bool RemoveLastRow() override;
    int32_t RowData(int row) const override;
    void SetRowData(int row, int32_t clientId) override;
    bool CellTextIs(int row, int column, std::string_view text) const override;
    void SetCellText(int row, int column, std::string_view text) override;
    int SelectedRow() const override;
    void SelectRow(int row) override;

private:
    QTreeWidget& tree;
};
