#include "ChangeMapDialog.h"

#include <cstdio>
#include <utility>

#include "RotationStore.h"
#include "WorldColumn.h"

namespace {
constexpr int kPositionRole = Qt::UserRole;
constexpr int kChangeMapLineSize = 128;
}  // namespace

ChangeMapDialog::ChangeMapDialog(QWidget* parent, std::function<void(int position)> changeMap)
    : QDialog(parent), changeMap(std::move(changeMap)) {
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    SetUpWorldColumn(*ui.rotationList);
    ui.rotationList->setSelectionMode(QAbstractItemView::SingleSelection);
    // A row keeps the position it was read from: a missing entry leaves a gap in the positions.
    for (const RotationEntry& entry : ReadRotation(ServerSettings::Instance())) {
        QTreeWidgetItem* item = NewWorldRow(entry.world);
        item->setData(0, kPositionRole, entry.position);
        ui.rotationList->addTopLevelItem(item);
    }
}

void ChangeMapDialog::accept() {
    const QList<QTreeWidgetItem*> selected = ui.rotationList->selectedItems();
    if (!selected.isEmpty()) {
        const int position = selected.front()->data(0, kPositionRole).toInt();
        if (changeMap) {
            changeMap(position);
        } else {
            char line[kChangeMapLineSize];
            std::snprintf(line, sizeof line, "changemap %d", position);
            ServerSettings::Instance().SendCommand(line);
        }
    }
    QDialog::accept();
}
