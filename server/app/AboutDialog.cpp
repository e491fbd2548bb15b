#include "AboutDialog.h"

#include "AppIcon.h"
#include "ServerCore.h"

AboutDialog::AboutDialog(ServerCore& core, QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
    ui.iconLabel->setPixmap(AppIcon().pixmap(32, 32));
    // With no engine bound there are no numbers to show, only stale ones.
    const std::optional<EngineVersion> v = core.EngineVersionNow();
    ui.versionField->setText(
        v ? QStringLiteral("Version %1.%2.%3").arg(v->major).arg(v->minor).arg(v->build)
          : QStringLiteral("No server engine is running."));
    setFixedSize(sizeHint());
}
