#include "WorldColumn.h"

#include <QHeaderView>
#include <QTreeWidget>

#include "EngineText.h"

void SetUpWorldColumn(QTreeWidget& list) {
    list.clear();
    list.setColumnCount(1);
    list.setHeaderLabels({QStringLiteral("World")});
    list.setHeaderHidden(true);
    list.header()->setStretchLastSection(true);
    list.setRootIsDecorated(false);
    list.setItemsExpandable(false);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QTreeWidgetItem* NewWorldRow(std::string_view world) {
    auto* row = new QTreeWidgetItem(QStringList{EngineText(world)});
    row->setData(0, kWorldBytesRole,
                 QByteArray(world.data(), static_cast<qsizetype>(world.size())));
    return row;
}

std::string WorldOfRow(const QTreeWidgetItem& row) {
    return row.data(0, kWorldBytesRole).toByteArray().toStdString();
}
