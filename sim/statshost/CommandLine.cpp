#include "CommandLine.h"

#include "HostError.h"
#include "TextLines.h"

const char* CommandLine::Usage() {
    return "usage: skillhost [--weapons FILE] [--format text|csv|json] [--use-alt-key N]\n"
           "                 LOG PLUGIN...\n"
           "PLUGIN is a path to a plug-in, or a name such as brindle_skill looked up beside\n"
           "skillhost; append @A or @B to choose its host layout.\n";
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
        if (argument == "--weapons") {
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
    line.plugins.assign(positional.begin() + 1, positional.end());
    return line;
}
