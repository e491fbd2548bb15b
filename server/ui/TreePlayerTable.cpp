#include "TreePlayerTable.h"

#include <QHeaderView>
#include <algorithm>

#include "EngineText.h"

namespace {
// Ping and time cells are ASCII and are compared ten times a second: they skip the conversion.
QString CellText(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; }))
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return EngineText(text);
}
}  // namespace

void TreePlayerTable::SetUpColumns(QTreeWidget& tree) {
    tree.setColumnCount(kPlayerColumnCount);
    tree.setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Team"),
                          QStringLiteral("Specialty"), QStringLiteral("Ping"),
                          QStringLiteral("Time")});
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);  // keeps a pass over many rows cheap
    tree.setSelectionMode(QAbstractItemView::SingleSelection);
    tree.setSortingEnabled(false);

    QHeaderView* header = tree.header();
    header->setSectionsClickable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);

    const int fifth = static_cast<int>(tree.frameGeometry().width() * 0.2);
    for (int column : {IdColumn, PingColumn, TimeColumn}) {
        header->resizeSection(column, header->sectionSizeHint(column));
    }
    for (int column : {NameColumn, TeamColumn, SpecialtyColumn})
        header->resizeSection(column, fifth);
}

std::optional<int32_t> TreePlayerTable::FirstSelectedClientId() const {
    const int row = SelectedRow();
    return row >= 0 ? std::optional(RowData(row)) : std::nullopt;
}

int TreePlayerTable::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = tree.selectedItems();  // single selection
    return selected.isEmpty() ? -1 : tree.indexOfTopLevelItem(selected.front());
}

void TreePlayerTable::SelectRow(int row) {
    if (row < 0) {
        tree.clearSelection();
        return;
    }
    QTreeWidgetItem* item = tree.topLevelItem(row);
    tree.setCurrentItem(item);
    item->setSelected(true);
}

bool TreePlayerTable::AppendRow() {
    auto* item = new QTreeWidgetItem();
    item->setData(IdColumn, Qt::UserRole, 0);
    tree.addTopLevelItem(item);
    return true;
}

bool TreePlayerTable::RemoveLastRow() {
    const int count = tree.topLevelItemCount();
    if (count == 0) return false;
    delete tree.takeTopLevelItem(count - 1);
    return true;
}

int32_t TreePlayerTable::RowData(int row) const {
    return tree.topLevelItem(row)->data(IdColumn, Qt::UserRole).toInt();
}

void TreePlayerTable::SetRowData(int row, int32_t clientId) {
    tree.topLevelItem(row)->setData(IdColumn, Qt::UserRole, clientId);
}

bool TreePlayerTable::CellTextIs(int row, int column, std::string_view text) const {
    return tree.topLevelItem(row)->text(column) == CellText(text);
}

void TreePlayerTable::SetCellText(int row, int column, std::string_view text) {
    tree.topLevelItem(row)->setText(column, CellText(text));
}
