#include "ChangeMapDialog.h"

#include "WorldColumn.h"

namespace {
constexpr int kPositionRole = Qt::UserRole;
}  // namespace

ChangeMapDialog::ChangeMapDialog(ServerCore& core, QWidget* parent) : QDialog(parent), core(core) {
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    SetUpWorldColumn(*ui.rotationList);
    ui.rotationList->setSelectionMode(QAbstractItemView::SingleSelection);
    // A row keeps the position it was read from: a missing entry leaves a gap in the positions.
    for (const RotationEntry& entry : core.Rotation()) {
        QTreeWidgetItem* item = NewWorldRow(entry.world);
        item->setData(0, kPositionRole, entry.position);
        ui.rotationList->addTopLevelItem(item);
    }
}

void ChangeMapDialog::accept() {
    const QList<QTreeWidgetItem*> selected = ui.rotationList->selectedItems();
    if (!selected.isEmpty()) {
        const QTreeWidgetItem& row = *selected.front();
        const MapChoice choice{row.data(0, kPositionRole).toInt(), WorldOfRow(row)};
        const ActionResult result = core.ChangeMap(choice, Requester::Window());
        // A refusing engine says why itself.
        if (result == ActionResult::Conflict)
            core.Announce(std::string("Change map: ") + Describe(result) + ".");
    }
    QDialog::accept();
}
