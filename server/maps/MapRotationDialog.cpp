#include "MapRotationDialog.h"

#include <string>
#include <vector>

#include "WaitCursor.h"
#include "WorldColumn.h"

MapRotationDialog::MapRotationDialog(ServerCore& core, QWidget* parent)
    : QDialog(parent), core(core) {
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui.worldList, &QTreeWidget::itemDoubleClicked, this,
            &MapRotationDialog::AddSelectedWorld);
    connect(ui.rotationList, &QTreeWidget::itemDoubleClicked, this,
            &MapRotationDialog::RemoveSelectedEntry);
    FillLists();
}

void MapRotationDialog::FillLists() {
    SetUpWorldColumn(*ui.worldList);
    SetUpWorldColumn(*ui.rotationList);
    ui.worldList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    std::vector<std::string> worlds;
    {
        WaitCursor waitCursor;
        worlds = core.Worlds();
    }
    for (const std::string& world : worlds) ui.worldList->addTopLevelItem(NewWorldRow(world));
    ui.worldList->setSortingEnabled(true);
    ui.worldList->sortByColumn(0, Qt::AscendingOrder);

    for (const RotationEntry& entry : core.Rotation())
        ui.rotationList->addTopLevelItem(NewWorldRow(entry.world));
}

void MapRotationDialog::AddSelectedWorld() {
    QTreeWidgetItem* first = nullptr;
    int firstRow = 0;
    for (QTreeWidgetItem* item : ui.worldList->selectedItems()) {
        const int row = ui.worldList->indexOfTopLevelItem(item);
        if (!first || row < firstRow) {
            first = item;
            firstRow = row;
        }
    }
    if (first) ui.rotationList->addTopLevelItem(NewWorldRow(WorldOfRow(*first)));
}

void MapRotationDialog::RemoveSelectedEntry() {
    const QList<QTreeWidgetItem*> selected = ui.rotationList->selectedItems();
    if (!selected.isEmpty()) delete selected.front();
}

void MapRotationDialog::accept() {
    std::vector<std::string> worlds;
    for (int row = 0; row < ui.rotationList->topLevelItemCount(); ++row)
        worlds.push_back(WorldOfRow(*ui.rotationList->topLevelItem(row)));
    core.SetRotation(worlds, Requester::Window());
    QDialog::accept();
}
