// Switches the running server to a world of the rotation: lists the rotation as it stood when the
// dialog opened and, on OK, asks the server core to change to the chosen entry (its position and
// the world shown there, so that a rotation edited meanwhile is refused, not misread).
#pragma once

#include <QDialog>

#include "ServerCore.h"
#include "ui_ChangeMapDialog.h"

class ChangeMapDialog : public QDialog {
    Q_OBJECT

public:
    explicit ChangeMapDialog(ServerCore& core, QWidget* parent = nullptr);

    void accept() override;

private:
    Ui::ChangeMapDialog ui;
    ServerCore& core;
};
