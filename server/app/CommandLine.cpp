#include "CommandLine.h"

#include "OptionText.h"
#include "WebAdminOptions.h"

namespace {

WindowCommandLine Answer(WindowCommandLine::Action action, const QString& error = {}) {
    return {action,
            error.isEmpty() ? error : QStringLiteral("server: %1 (see server --help)").arg(error)};
}

bool IsDashS(const QString& word) {
    return word.startsWith(QLatin1String("-s"), Qt::CaseInsensitive);
}

}  // namespace

bool ShowSettingsAtStart(const QStringList& arguments) {
    const QString tail = arguments.mid(1).join(QLatin1Char(' '));
    return !IsDashS(tail);
}

WindowCommandLine ReadWindowCommandLine(const QStringList& arguments,
                                        WindowCommandLine::Stage stage) {
    using Action = WindowCommandLine::Action;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--help") || word == QLatin1String("-h"))
            return Answer(Action::ShowUsage);
        if (word == QLatin1String("--version")) return Answer(Action::ShowVersion);
        if (IsWebAdminOption(word)) {
            if (!word.contains(QLatin1Char('='))) ++i;  // its value, checked below
            continue;
        }
        if (!word.startsWith(QLatin1Char('-')) || word.size() == 1) continue;
        if (word.startsWith(QLatin1String("--")))
            return Answer(Action::Refuse,
                          QStringLiteral("unknown option %1").arg(ShownArgument(word)));
        if (stage == WindowCommandLine::Stage::BeforeQt) continue;  // Qt's, perhaps
        if (!IsDashS(word))
            return Answer(Action::Refuse,
                          QStringLiteral("unknown option %1").arg(ShownArgument(word)));
        if (i != 1)
            return Answer(Action::Refuse,
                          QStringLiteral("option %1 counts only as the first argument")
                              .arg(ShownArgument(word)));
    }
    const WebAdminParse web = ParseWebAdminOptions(arguments);
    if (!web.options) return Answer(Action::Refuse, QString::fromStdString(web.error));
    return Answer(Action::Run);
}
