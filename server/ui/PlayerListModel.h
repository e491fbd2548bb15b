// The player list's rows in the roster's order, as the refresh writes them: six text cells and a
// client id per row. A view sorts them through a proxy; the rows themselves never move, so the
// refresh's positional rules hold whatever the operator sorts by.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "PlayerTable.h"

class PlayerListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kClientIdRole = Qt::UserRole;  // on every cell of a row

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The refresh's rows (see PlayerTable).
    int RowCount() const { return static_cast<int>(rows.size()); }
    void AppendRow();
    bool RemoveLastRow();
    int32_t RowData(int row) const { return rows[static_cast<std::size_t>(row)].clientId; }
    void SetRowData(int row, int32_t clientId);
    bool CellTextIs(int row, int column, std::string_view text) const;
    void SetCellText(int row, int column, std::string_view text);
    const QString& CellText(int row, int column) const;

    // Whether row a comes before row b when sorted by the column; ties keep the roster's order.
    bool SortsBefore(int a, int b, int column, bool descending) const;
    // The columns written, and whether rows came or went, since the last call.
    bool TakeOrderChanged(int column);

private:
    struct Row {
        int32_t clientId = 0;
        std::array<QString, kPlayerColumnCount> texts;
        std::array<std::optional<int64_t>, kPlayerColumnCount> keys;
    };
    Row& At(int row) { return rows[static_cast<std::size_t>(row)]; }
    const Row& At(int row) const { return rows[static_cast<std::size_t>(row)]; }

    std::vector<Row> rows;
    unsigned changedColumns = 0;
};
