#include "CommandLine.h"

#include "HostError.h"
#include "TextLines.h"

const char* CommandLine::Usage() {
    return "usage: skillhost [--db DATABASE] [--weapons FILE] [--format text|csv|json]\n"
           "                 [--use-alt-key N] [--batch N] LOG PLUGIN...\n"
           "       skillhost [options as above] --follow PATH PLUGIN...\n"
           "       skillhost report --db DATABASE [--format text|csv|json|html]\n"
           "                 [--plugin NAME]... [--top N]\n"
           "       skillhost site --db DATABASE --out DIR [--name NAME] [--min-events N]\n"
           "       skillhost --help\n"
           "Rates the players of the game-event log LOG (a file, or a directory of *.log\n"
           "files) with each plug-in. Without --db it prints the rankings side by side; with\n"
           "it the ratings last in the database and carry over from run to run.\n"
           "--follow PATH rates what PATH holds, then follows it: lines added to its logs\n"
           "and new logs are rated as they arrive, until SIGTERM or SIGINT. A log is known\n"
           "by its content: a copy, a move or a rename of a rated log rates nothing again.\n"
           "report prints each plug-in's leaderboard from the database; html is a page of\n"
           "its own with each player's rating history as a graph.\n"
           "site writes the stats site, static files for any web server, to DIR.\n"
           "PLUGIN is a path to a plug-in, or a name looked up as NAME.so beside skillhost,\n"
           "followed by @A or @B, the host layout the plug-in was built for. brindle_skill\n"
           "and corvane_skill run in layout A and quorvex_skill in layout B, so their @ may\n"
           "be left out; any other plug-in needs it.\n"
           "  --db DATABASE      an SQLite file (created when missing) or a postgresql://\n"
           "                     connection URI\n"
           "  --weapons FILE     weapon weights, \"WEAPON WEIGHT\" lines (default 1.0)\n"
           "  --format FORMAT    text (the default), csv or json; html for report\n"
           "  --use-alt-key N    the host option; exactly 1 finds players by ALT_KEY\n"
           "  --batch N          events per database transaction (default 65536)\n"
           "  --plugin NAME      report only this plug-in (again for more)\n"
           "  --top N            report only the best N players of each plug-in\n"
           "  --site DIR         with --follow: write the stats site to DIR after each batch\n"
           "  --name NAME        the server's name on the site (default Tarnwick)\n"
           "  --min-events N     players with fewer events stay off the leaderboards\n"
           "                     (default 1)\n"
           "Exit status: 0 done (a follower: stopped by SIGTERM or SIGINT), 1 bad input, a\n"
           "plug-in that does not load or a database that cannot be used, 2 bad arguments.\n"
           "A follower waits for a lost PostgreSQL server, and for a removed log directory.\n";
}

namespace {

std::size_t Count(const std::string& option, const std::string& text) {
    const auto number = TextLines::ParseWhole<std::uint32_t>(text);
    if (!number || *number == 0) throw HostError(option + " needs a whole number above 0");
    return *number;
}

}  // namespace

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> positional;
    std::size_t i = 0;
    if (!arguments.empty() && arguments[0] == "report") {
        line.report = true;
        ++i;
    } else if (!arguments.empty() && arguments[0] == "site") {
        line.site = true;
        ++i;
    }
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 == arguments.size()) throw HostError(argument + " needs a value");
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            CommandLine help;
            help.help = true;
            return help;
        } else if (argument == "--format") {
            const std::string& format = value();
            if (format == "text") {
                line.format = RankingFormat::Text;
            } else if (format == "csv") {
                line.format = RankingFormat::Csv;
            } else if (format == "json") {
                line.format = RankingFormat::Json;
            } else if (format == "html" && line.report) {
                line.format = RankingFormat::Html;
            } else {
                throw HostError("unknown format: " + format);
            }
        } else if (argument == "--db") {
            line.database = value();
            if (line.database->empty()) throw HostError("--db needs a file or a URI");
        } else if (argument == "--name" && !line.report) {
            line.serverName = value();
            if (line.serverName.empty() || line.serverName.size() > 100) {
                throw HostError("--name needs 1 to 100 bytes");
            }
        } else if (argument == "--min-events" && !line.report) {
            const auto number = TextLines::ParseWhole<std::uint32_t>(value());
            if (!number) throw HostError("--min-events needs a whole number");
            line.minEvents = *number;
        } else if ((line.site && argument == "--out") || (!line.site && argument == "--site")) {
            line.siteDir = value();
            if (line.siteDir->empty()) throw HostError(argument + " needs a folder");
        } else if (line.site) {
            throw HostError(argument.starts_with("-") ? "unknown option for site: " + argument
                                                      : "site reads no log: " + argument);
        } else if (line.report && argument == "--plugin") {
            line.reportPlugins.push_back(value());
        } else if (line.report && argument == "--top") {
            line.top = Count(argument, value());
        } else if (line.report) {
            throw HostError(argument.starts_with("-") ? "unknown option for report: " + argument
                                                      : "report reads no log: " + argument);
        } else if (argument == "--weapons") {
            line.weaponsPath = value();
        } else if (argument == "--use-alt-key") {
            const auto number = TextLines::ParseWhole<std::int32_t>(value());
            if (!number) throw HostError("--use-alt-key needs a whole number");
            line.useAltKey = *number;
        } else if (argument == "--batch") {
            line.batchEvents = Count(argument, value());
        } else if (argument == "--follow") {
            if (line.follow) throw HostError("--follow is given once");
            line.follow = true;
            line.logPath = value();
        } else if (argument.starts_with("--")) {
            throw HostError("unknown option: " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (line.report || line.site) {
        if (!line.database)
            throw HostError(std::string(line.report ? "report" : "site") + " needs --db");
        if (line.site && !line.siteDir) throw HostError("site needs --out");
        return line;
    }
    if (line.siteDir && (!line.follow || !line.database)) {
        throw HostError("--site needs --follow and --db");
    }
    if (!line.follow) {
        if (positional.size() < 2) throw HostError("a log and at least one plug-in are needed");
        line.logPath = positional.front();
        positional.erase(positional.begin());
    } else if (positional.empty()) {
        throw HostError("at least one plug-in is needed");
    }
    for (const std::string& plugin : positional)
        line.plugins.push_back(PluginChoice::Parse(plugin));
    return line;
}
