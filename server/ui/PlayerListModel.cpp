#include "PlayerListModel.h"

#include <algorithm>

#include "EngineText.h"
#include "PlayerSort.h"

namespace {

constexpr unsigned kEveryColumn = (1u << kPlayerColumnCount) - 1;

// Printable ASCII shows as it is.
bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Ping and time cells are plain ASCII and are compared ten times a second: they skip the
// conversion.
QString Shown(std::string_view text) {
    if (IsPlainAscii(text))
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return EngineText(text);
}

}  // namespace

int PlayerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int PlayerListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPlayerColumnCount;
}

QVariant PlayerListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount()) return {};
    if (role == Qt::DisplayRole)
        return At(index.row()).texts[static_cast<std::size_t>(index.column())];
    if (role == kClientIdRole) return At(index.row()).clientId;
    return {};
}

QVariant PlayerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kPlayerColumnCount] = {"ID",        "Name", "Team",
                                                             "Specialty", "Ping", "Time"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kPlayerColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void PlayerListModel::AppendRow() {
    beginInsertRows({}, RowCount(), RowCount());
    rows.emplace_back();
    endInsertRows();
    changedColumns = kEveryColumn;
}

bool PlayerListModel::RemoveLastRow() {
    if (rows.empty()) return false;
    beginRemoveRows({}, RowCount() - 1, RowCount() - 1);
    rows.pop_back();
    endRemoveRows();
    changedColumns = kEveryColumn;
    return true;
}

void PlayerListModel::SetRowData(int row, int32_t clientId) {
    At(row).clientId = clientId;  // not shown: no change to announce
}

bool PlayerListModel::CellTextIs(int row, int column, std::string_view text) const {
    const QString& cell = At(row).texts[static_cast<std::size_t>(column)];
    if (IsPlainAscii(text))
        return cell == QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
    return cell == EngineText(text);
}

void PlayerListModel::SetCellText(int row, int column, std::string_view text) {
    Row& r = At(row);
    const auto c = static_cast<std::size_t>(column);
    r.texts[c] = Shown(text);
    r.keys[c] = NumericSortKey(column, text);
    changedColumns |= 1u << column;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

const QString& PlayerListModel::CellText(int row, int column) const {
    return At(row).texts[static_cast<std::size_t>(column)];
}

bool PlayerListModel::SortsBefore(int a, int b, int column, bool descending) const {
    const auto c = static_cast<std::size_t>(column);
    const int order =
        ComparePlayerCells(column, At(a).texts[c], At(a).keys[c], At(b).texts[c], At(b).keys[c]);
    if (order != 0) return descending ? order > 0 : order < 0;
    return a < b;
}

bool PlayerListModel::TakeOrderChanged(int column) {
    const bool changed = column >= 0 && (changedColumns & (1u << column)) != 0;
    changedColumns = 0;
    return changed;
}
