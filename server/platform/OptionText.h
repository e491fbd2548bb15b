// How a refused command-line option is quoted back to the operator: short, and on one line
// whatever it holds, so a hostile or mistyped argument cannot flood or split the message.
#pragma once

#include <QString>

inline QString ShownArgument(const QString& argument) {
    constexpr qsizetype kShownLength = 64;
    QString shown = argument.left(kShownLength);
    for (QChar& c : shown)
        if (!c.isPrint()) c = QLatin1Char('?');
    if (argument.size() > kShownLength) shown += QLatin1String("...");
    return QLatin1Char('\'') + shown + QLatin1Char('\'');
}

inline QString BadOptionValue(const QString& option, const QString& value, const QString& why) {
    return QStringLiteral("bad value %1 for option %2: %3").arg(ShownArgument(value), option, why);
}
