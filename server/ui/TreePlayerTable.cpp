#include "TreePlayerTable.h"

#include <QHeaderView>

TreePlayerTable::TreePlayerTable(QTreeView& view) : view(view) {
    // Sorted once per pass, not on every cell a pass writes.
    proxy.setDynamicSortFilter(false);
    proxy.setSourceModel(&model);
    view.setModel(&proxy);
}

void TreePlayerTable::SetUpColumns() {
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);  // keeps a pass over many rows cheap
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSortingEnabled(
        false);  // the clicks below decide, with a way back to the roster's order

    QHeaderView* header = view.header();
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);
    // Shown from the start, so the columns fitted to their headers keep room for the arrow.
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    QObject::connect(header, &QHeaderView::sectionClicked, &view,
                     [this](int section) { SortBy(sorting.Clicked(section)); });

    const int fifth = static_cast<int>(view.frameGeometry().width() * 0.2);
    for (int column : {IdColumn, PingColumn, TimeColumn})
        header->resizeSection(column, header->sectionSizeHint(column));
    for (int column : {NameColumn, TeamColumn, SpecialtyColumn})
        header->resizeSection(column, fifth);
}

void TreePlayerTable::SortBy(PlayerSortState state) {
    sorting = state;
    proxy.state = state;
    // The header flips its own arrow on a click; this puts it where the state says.
    view.header()->setSortIndicator(state.column,
                                    state.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    proxy.sort(state.column, Qt::AscendingOrder);  // the direction is in the proxy's rule
    model.TakeOrderChanged(state.column);
}

void TreePlayerTable::KeepSorted() {
    if (model.TakeOrderChanged(sorting.column) && !InOrder())
        proxy.sort(sorting.column, Qt::AscendingOrder);
}

bool TreePlayerTable::InOrder() const {
    int previous = -1;
    for (int row = 0; row < proxy.rowCount(); ++row) {
        const int source = proxy.mapToSource(proxy.index(row, 0)).row();
        if (previous >= 0 &&
            !model.SortsBefore(previous, source, sorting.column, sorting.descending))
            return false;
        previous = source;
    }
    return true;
}

bool TreePlayerTable::AppendRow() {
    model.AppendRow();
    return true;
}

int TreePlayerTable::SourceRow(const QModelIndex& viewIndex) const {
    if (!viewIndex.isValid() || viewIndex.model() != &proxy) return -1;
    return proxy.mapToSource(viewIndex).row();
}

int TreePlayerTable::SelectedRow() const {
    const QModelIndexList selected = view.selectionModel()->selectedRows();  // single selection
    return selected.isEmpty() ? -1 : SourceRow(selected.front());
}

void TreePlayerTable::SelectRow(int row) {
    if (row < 0) {
        view.clearSelection();
        return;
    }
    view.selectionModel()->setCurrentIndex(
        proxy.mapFromSource(model.index(row, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::optional<int32_t> TreePlayerTable::FirstSelectedClientId() const {
    const int row = SelectedRow();
    return row >= 0 ? std::optional(RowData(row)) : std::nullopt;
}

std::optional<int32_t> TreePlayerTable::ClientIdAt(const QModelIndex& viewIndex) const {
    const int row = SourceRow(viewIndex);
    return row >= 0 ? std::optional(RowData(row)) : std::nullopt;
}

QString TreePlayerTable::NameAt(const QModelIndex& viewIndex) const {
    const int row = SourceRow(viewIndex);
    return row >= 0 ? model.CellText(row, NameColumn) : QString();
}
