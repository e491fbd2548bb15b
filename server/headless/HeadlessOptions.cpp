#include "HeadlessOptions.h"

#include <cstring>

#include "OptionText.h"

namespace {

struct OptionRow {
    const char* name;       // "--name", or nullptr
    const char* shortName;  // "-x", or nullptr
    const char* valueName;  // what the usage shows for the value; nullptr for a switch
    const char* help;
    // Stores the value (empty for a switch); answers why it was refused, or an empty text.
    QString (*store)(HeadlessOptions& options, const QString& value);
    // --help and --version end the reading: this is what the program does instead of running.
    HeadlessCommandLine::Action answers = HeadlessCommandLine::Action::Run;
    bool serverOnly = false;  // means something only to the window program's usage
};

QString StoreNothing(HeadlessOptions&, const QString&) {
    return {};
}

QString StoreLogFormat(HeadlessOptions& options, const QString& value) {
    if (value.compare(QLatin1String("text"), Qt::CaseInsensitive) == 0) {
        options.logFormat = LogFormat::Text;
    } else if (value.compare(QLatin1String("json"), Qt::CaseInsensitive) == 0) {
        options.logFormat = LogFormat::Json;
    } else {
        return QStringLiteral("expected text or json");
    }
    return {};
}

QString StoreAgones(HeadlessOptions& options, const QString&) {
    options.agones = true;
    return {};
}

QString StoreAdminPasswordFile(HeadlessOptions& options, const QString& value) {
    if (value.isEmpty()) return QStringLiteral("expected a file name");
    options.adminPasswordFile = value;
    return {};
}

const OptionRow kOptions[] = {
    {nullptr, "-s", nullptr, "skip the settings sheet (always so without a window)", StoreNothing},
    {"--headless", nullptr, nullptr, "run without a window, on standard input and output",
     StoreNothing, HeadlessCommandLine::Action::Run, true},
    {"--log-format", nullptr, "text|json", "text lines (the default) or JSON objects, one a line",
     StoreLogFormat},
    // The web admin's options are checked together once all are read (WebAdminOptions.h).
    {"--web-admin", nullptr, "[ADDRESS:]PORT", "serve the web admin (loopback unless ADDRESS)",
     StoreNothing},
    {"--web-cert", nullptr, "FILE", "the web admin's TLS certificate chain (PEM)", StoreNothing},
    {"--web-key", nullptr, "FILE", "its private key (PEM), readable by its owner only",
     StoreNothing},
    {"--web-host", nullptr, "NAME", "another host name the web admin answers to", StoreNothing},
    {"--web-trusted-proxy", nullptr, "ADDRESS", "a reverse proxy whose X-Forwarded-For counts",
     StoreNothing},
    {"--agones", nullptr, nullptr,
     "speak to the Agones SDK sidecar (on when AGONES_SDK_HTTP_PORT is set)", StoreAgones},
    {"--admin-password-file", nullptr, "FILE",
     "set the remote admin password from FILE (one line, not readable by others)",
     StoreAdminPasswordFile},
    {"--help", "-h", nullptr, "show this help and exit", StoreNothing,
     HeadlessCommandLine::Action::ShowUsage},
    {"--version", nullptr, nullptr, "show the program's version and exit", StoreNothing,
     HeadlessCommandLine::Action::ShowVersion},
};

HeadlessCommandLine Refusal(HeadlessProgram program, const QString& what) {
    HeadlessCommandLine result;
    result.action = HeadlessCommandLine::Action::Refuse;
    const QLatin1String name(ProgramName(program));
    result.error = QStringLiteral("%1: %2 (see %1 --help)").arg(name, what);
    return result;
}

const OptionRow* FindLong(const QString& name) {
    for (const OptionRow& row : kOptions)
        if (row.name != nullptr && name == QLatin1String(row.name)) return &row;
    return nullptr;
}

// Short names in either case, as the window reads its "-s".
const OptionRow* FindShort(const QString& name) {
    for (const OptionRow& row : kOptions)
        if (row.shortName != nullptr &&
            name.compare(QLatin1String(row.shortName), Qt::CaseInsensitive) == 0)
            return &row;
    return nullptr;
}

QString RowName(const OptionRow& row) {
    return QLatin1String(row.name != nullptr ? row.name : row.shortName);
}

}  // namespace

const char* ProgramName(HeadlessProgram program) {
    return program == HeadlessProgram::Daemon ? "tarnwickd" : "server";
}

bool HeadlessRequested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] != nullptr && (std::strcmp(argv[i], "--headless") == 0 ||
                                   std::strncmp(argv[i], "--headless=", 11) == 0))
            return true;
    return false;
}

HeadlessCommandLine ParseHeadlessCommandLine(const QStringList& arguments,
                                             HeadlessProgram program) {
    const auto Refused = [program](const QString& what) { return Refusal(program, what); };
    HeadlessCommandLine result;
    result.options.program = program;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const OptionRow* row = nullptr;
        QString value;
        bool inlineValue = false;
        if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            row = FindLong(equals < 0 ? argument : argument.left(equals));
            if (row == nullptr)
                return Refused(QStringLiteral("unknown option %1").arg(ShownArgument(argument)));
            if (equals >= 0) {
                inlineValue = true;
                value = argument.mid(equals + 1);
            }
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            row = FindShort(argument);
            if (row == nullptr)
                return Refused(QStringLiteral("unknown option %1").arg(ShownArgument(argument)));
        } else {
            return Refused(QStringLiteral("unexpected argument %1").arg(ShownArgument(argument)));
        }

        const QString name = RowName(*row);
        if (row->valueName == nullptr && inlineValue)
            return Refused(QStringLiteral("option %1 takes no value").arg(name));
        if (row->valueName != nullptr && !inlineValue) {
            if (i + 1 >= arguments.size())
                return Refused(QStringLiteral("option %1 needs a value: %2")
                                   .arg(name, QLatin1String(row->valueName)));
            value = arguments[++i];
        }
        if (row->answers != HeadlessCommandLine::Action::Run) {
            result.action = row->answers;
            return result;
        }
        if (const QString why = row->store(result.options, value); !why.isEmpty())
            return Refused(BadOptionValue(name, value, why));
    }
    const WebAdminParse web = ParseWebAdminOptions(arguments);
    if (!web.options) return Refused(QString::fromStdString(web.error));
    result.options.web = *web.options;
    return result;
}

QString HeadlessUsage(HeadlessProgram program) {
    const bool daemon = program == HeadlessProgram::Daemon;
    QString usage =
        daemon ? QStringLiteral("Usage: tarnwickd [OPTION]...\n"
                                "Runs the game server without a window, on a terminal or under a "
                                "service manager.\n\n")
               : QStringLiteral(
                     "Usage: server [-s] [--web-admin [ADDRESS:]PORT [--web-...]]\n"
                     "       server --headless [OPTION]...\n"
                     "Runs the game server in a window, or without one on a terminal or under a "
                     "service manager.\nThe window takes -s only as the first argument, the "
                     "--web-... options,\n--help, --version and Qt's own options.\n\n");
    constexpr qsizetype kHelpColumn = 30;
    for (const OptionRow& row : kOptions) {
        if (daemon && row.serverOnly) continue;
        QString left = QLatin1String("  ");
        left += row.shortName != nullptr ? QLatin1String(row.shortName) : QLatin1String("  ");
        left += row.shortName != nullptr && row.name != nullptr ? QLatin1String(", ")
                                                                : QLatin1String("  ");
        if (row.name != nullptr) left += QLatin1String(row.name);
        if (row.valueName != nullptr) left += QLatin1Char(' ') + QLatin1String(row.valueName);
        left += QLatin1Char(' ');
        usage += left.leftJustified(kHelpColumn) + QLatin1String(row.help) + QLatin1Char('\n');
    }
    usage += QStringLiteral(
        "\nExit status: 0 a clean end (a signal, \"quit\", or the engine closed the server);\n"
        "1 the engine could not be bound; 2 a bad command line, a web admin that cannot start\n"
        "or another server in the install directory; 3 a later start-up step failed or the\n"
        "engine stopped by itself.\n"
        "\nWithout --admin-password-file, $CREDENTIALS_DIRECTORY/admin-password (systemd's\n"
        "LoadCredential=) sets the remote admin password when it exists.\n");
    return usage;
}
