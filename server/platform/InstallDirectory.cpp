#include "InstallDirectory.h"

#include <QDir>
#include <QSettings>

QString ReadInstallDirectory() {
    // System scope: the INI file in the XDG config directories (/etc/xdg/Brackwater/...), the
    // counterpart of a machine-wide registry key.
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope,
                       QStringLiteral("Brackwater"), QStringLiteral("Tarnwick Demo"));
    return settings.value(QStringLiteral("Install Dir")).toString();
}

bool EnterInstallDirectory() {
    const QString directory = ReadInstallDirectory();
    return !directory.isEmpty() && QDir::setCurrent(directory);
}
