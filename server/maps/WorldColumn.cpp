#include "WorldColumn.h"

#include <QHeaderView>
#include <QTreeWidget>

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

QString WorldText(std::string_view world) {
    return QString::fromLatin1(world.data(), static_cast<qsizetype>(world.size()));
}

std::string WorldBytes(const QString& text) {
    return text.toLatin1().toStdString();
}
