#include "PlayerListRefresher.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "FormatConnectedTime.h"

namespace {

std::string_view Decimal(int64_t value, char (&buffer)[24]) {
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

}  // namespace

PlayerListRefresher::PlayerListRefresher(PlayerTable& table, LabelLookup labels, PingQuery ping,
                                         CalendarClock clock)
    : table(table), labels(std::move(labels)), ping(std::move(ping)), clock(std::move(clock)) {
    if (!this->clock) this->clock = [] { return std::time(nullptr); };
}

int32_t PlayerListRefresher::PingMilliseconds(float seconds) {
    const float milliseconds = seconds * 1000.0f;
    if (std::isnan(milliseconds)) return 0;
    // Converting a float beyond the integer's range is undefined, so clamp first.
    if (milliseconds >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (milliseconds <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(milliseconds);
}

int32_t PlayerListRefresher::ConnectedSpan(std::time_t now, std::time_t joinTime) {
    const int64_t span = static_cast<int64_t>(now) - static_cast<int64_t>(joinTime);
    if (span > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (span < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(span);
}

void PlayerListRefresher::WriteCell(int row, int column, std::string_view text) {
    if (!table.CellTextIs(row, column, text)) table.SetCellText(row, column, text);
}

void PlayerListRefresher::WriteIdentity(int row, const PlayerRecord& record) {
    char number[24];
    table.SetRowData(row, record.clientId);
    WriteCell(row, IdColumn, Decimal(record.clientId, number));
    WriteCell(row, NameColumn,
              std::string_view(record.name, strnlen(record.name, sizeof record.name)));
    WriteCell(row, TeamColumn, labels ? labels(record.teamLabelId) : std::string());
    WriteCell(row, SpecialtyColumn,
              labels ? labels(static_cast<uint32_t>(record.specialtyLabelId)) : std::string());
}

void PlayerListRefresher::Refresh(const std::vector<PlayerRecord>& records, bool rosterChanged) {
    // Row data changes only with the roster, so only then can the selection lose its player.
    const int selectedRow = rosterChanged ? table.SelectedRow() : -1;
    const std::optional<int32_t> selectedClient =
        selectedRow >= 0 ? std::optional(table.RowData(selectedRow)) : std::nullopt;
    const int recordCount = static_cast<int>(records.size());
    while (table.RowCount() < recordCount) {
        if (!table.AppendRow()) break;
    }
    while (table.RowCount() > recordCount) {
        if (!table.RemoveLastRow()) break;
    }

    const int rows = std::min(table.RowCount(), recordCount);
    for (int row = 0; row < rows; ++row) {
        const PlayerRecord& record = records[static_cast<std::size_t>(row)];
        if (rosterChanged) WriteIdentity(row, record);

        // The row's item data, not the record: a row added without a change mark still asks
        // for id 0 until the next change rewrites it.
        char number[24];
        const float seconds = ping ? ping(table.RowData(row)) : 0.0f;
        WriteCell(row, PingColumn, Decimal(PingMilliseconds(seconds), number));

        WriteCell(row, TimeColumn, FormatConnectedTime(ConnectedSpan(clock(), record.joinTime)));
    }
    if (selectedClient) KeepSelectionOn(*selectedClient, rows);
}

void PlayerListRefresher::KeepSelectionOn(int32_t clientId, int rows) {
    int row = 0;
    while (row < rows && table.RowData(row) != clientId) ++row;
    const int target = row < rows ? row : -1;
    if (table.SelectedRow() != target) table.SelectRow(target);
}
