// Switches the running server to a world of the rotation: lists the rotation as it stood when the
// dialog opened and, on OK, sends the chosen entry's position with "changemap".
#pragma once

#include <QDialog>
#include <functional>

#include "ui_ChangeMapDialog.h"

class ChangeMapDialog : public QDialog {
    Q_OBJECT

public:
    // changeMap, when given, carries the chosen position to the server in place of the
    // dialog's own "changemap" command (the window hands it to the server core, which notes who
    // asked).
    explicit ChangeMapDialog(QWidget* parent = nullptr,
                             std::function<void(int position)> changeMap = {});

    void accept() override;

private:
    Ui::ChangeMapDialog ui;
    std::function<void(int position)> changeMap;
};
