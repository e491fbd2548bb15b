#include "AboutDialog.h"

#include "AppIcon.h"
#include "EngineSession.h"

AboutDialog::AboutDialog(EngineSession& session, QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
    ui.iconLabel->setPixmap(AppIcon().pixmap(32, 32));
    EngineVersion v;
    // With no engine bound there are no numbers to show, only stale ones.
    const bool bound = session.WithEngine(
        [&](ServerEngine& e) { e.GetEngineVersion(&v.major, &v.minor, &v.build); });
    ui.versionField->setText(
        bound ? QStringLiteral("Version %1.%2.%3").arg(v.major).arg(v.minor).arg(v.build)
              : QStringLiteral("No server engine is running."));
    setFixedSize(sizeHint());
}
