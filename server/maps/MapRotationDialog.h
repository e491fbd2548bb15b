// The map rotation editor: the worlds on disk beside the current rotation. The operator adds
// worlds to the rotation, removes and reorders entries; OK writes the rotation back, Cancel
// discards every change.
#pragma once

#include <QDialog>

#include "ServerCore.h"
#include "ui_MapRotationDialog.h"

class MapRotationDialog : public QDialog {
    Q_OBJECT

public:
    explicit MapRotationDialog(ServerCore& core, QWidget* parent = nullptr);

    // Appends the first selected world (lowest row) to the rotation; the same world may go in
    // any number of times.
    void AddSelectedWorld();
    void RemoveSelectedEntry();

    void accept() override;

private:
    void FillLists();

    Ui::MapRotationDialog ui;
    ServerCore& core;
};
