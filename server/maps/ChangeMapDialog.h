// Switches the running server to a world of the rotation: lists the rotation as it stood when the
// dialog opened and, on OK, sends the chosen entry's position with "changemap".
#pragma once

#include <QDialog>

#include "ui_ChangeMapDialog.h"

class ChangeMapDialog : public QDialog {
    Q_OBJECT

public:
    explicit ChangeMapDialog(QWidget* parent = nullptr);

    void accept() override;

private:
    Ui::ChangeMapDialog ui;
};
