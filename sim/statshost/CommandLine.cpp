#include "CommandLine.h"

#include "HostError.h"
#include "TextLines.h"

const char* CommandLine::Usage() {
    return "usage: skillhost [--weapons FILE] [--format text|csv|json] [--use-alt-key N]\n"
           "                 LOG PLUGIN...\n"
           "       skillhost --help\n"
           "Rates the players of the game-event log LOG with each plug-in and prints the\n"
           "rankings side by side.\n"
           "PLUGIN is a path to a plug-in, or a name looked up as NAME.so beside skillhost,\n"
           "followed by @A or @B, the host layout the plug-in was built for. brindle_skill\n"
           "and corvane_skill run in layout A and quorvex_skill in layout B, so their @ may\n"
           "be left out; any other plug-in needs it.\n"
           "  --weapons FILE     weapon weights, \"WEAPON WEIGHT\" lines (default 1.0)\n"
           "  --format FORMAT    text (the default), csv or json\n"
           "  --use-alt-key N    the host option; exactly 1 finds players by ALT_KEY\n"
           "Exit status: 0 done, 1 bad input or a plug-in that does not load, 2 bad\n"
           "arguments.\n";
}

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 == arguments.size()) throw HostError(argument + " needs a value");
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            CommandLine help;
            help.help = true;
            return help;
        } else if (argument == "--weapons") {
            line.weaponsPath = value();
        } else if (argument == "--format") {
            const std::string& format = value();
            if (format == "text") {
                line.format = RankingFormat::Text;
            } else if (format == "csv") {
                line.format = RankingFormat::Csv;
            } else if (format == "json") {
                line.format = RankingFormat::Json;
            } else {
                throw HostError("unknown format: " + format);
            }
        } else if (argument == "--use-alt-key") {
            const auto number = TextLines::ParseWhole<std::int32_t>(value());
            if (!number) throw HostError("--use-alt-key needs a whole number");
            line.useAltKey = *number;
        } else if (argument.starts_with("--")) {
            throw HostError("unknown option: " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() < 2) throw HostError("a log and at least one plug-in are needed");
    line.logPath = positional.front();
    for (auto it = positional.begin() + 1; it != positional.end(); ++it) {
        line.plugins.push_back(PluginChoice::Parse(*it));
    }
    return line;
}
