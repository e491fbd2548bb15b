#include "BanDialog.h"

#include "BanList.h"

BanDialog::BanDialog(const QString& playerName, QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui.playerLabel->setText(QStringLiteral("Ban %1 from the server.").arg(playerName));
    ui.minutesBox->setMaximum(static_cast<int>(BanList::kMaxMinutes));
    // Characters, not bytes: the core still refuses a reason whose UTF-8 is too long.
    ui.reasonEdit->setMaxLength(static_cast<int>(BanList::kMaxReasonBytes));
    setFixedSize(sizeHint());
}
