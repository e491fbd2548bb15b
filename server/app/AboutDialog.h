// The About box: the engine's version, asked afresh each time the box opens.
#pragma once

#include <QDialog>

#include "ui_AboutDialog.h"

class ServerCore;

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    AboutDialog(ServerCore& core, QWidget* parent = nullptr);

    QString VersionLine() const { return ui.versionField->text(); }

private:
    Ui::AboutDialog ui;
};
