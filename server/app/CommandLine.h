// The program's one command-line switch.
#pragma once

#include <QStringList>

// "-s" as the first two characters of what follows the program name, in either case, skips the
// settings sheet at start; so does any word that begins with them. Nothing else is looked at.
inline bool ShowSettingsAtStart(const QStringList& arguments) {
    const QString tail = arguments.mid(1).join(QLatin1Char(' '));
    return !tail.startsWith(QLatin1String("-s"), Qt::CaseInsensitive);
}
