// The rows of the player list as the refresh sees them: positional rows of six text cells, a
// client id as item data, and at most one selected row.
#pragma once

#include <cstdint>
#include <string_view>

enum PlayerColumn : int {
    IdColumn,
    NameColumn,
    TeamColumn,
    SpecialtyColumn,
    PingColumn,
    TimeColumn
};
inline constexpr int kPlayerColumnCount = 6;

class PlayerTable {
public:
    virtual int RowCount() const = 0;
    // A row with empty texts and item data 0 at the end; false when it cannot be added.
    virtual bool AppendRow() = 0;
    virtual bool RemoveLastRow() = 0;
    virtual int32_t RowData(int row) const = 0;
    virtual void SetRowData(int row, int32_t clientId) = 0;
    // Byte for byte, case-sensitive.
    virtual bool CellTextIs(int row, int column, std::string_view text) const = 0;
    virtual void SetCellText(int row, int column, std::string_view text) = 0;
    virtual int SelectedRow() const = 0;  // -1 when none
    virtual void SelectRow(int row) = 0;  // -1 clears the selection

protected:
    ~PlayerTable() = default;
};
