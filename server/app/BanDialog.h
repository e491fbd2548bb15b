// Ban…, from the player list's context menu: how long (0 for good) and why. The ban itself is
// the core's: this dialog only asks.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "ui_BanDialog.h"

class BanDialog : public QDialog {
    Q_OBJECT

public:
    BanDialog(const QString& playerName, QWidget* parent = nullptr);

    int64_t Minutes() const { return ui.minutesBox->value(); }
    // As the console keeps it: UTF-8.
    std::string Reason() const { return ui.reasonEdit->text().trimmed().toStdString(); }

private:
    Ui::BanDialog ui;
};
