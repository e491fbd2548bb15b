// The whole host run: arguments in, ranking, database or report out, an exit status back.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class CommandLine;

class SkillHost {
public:
    // `stopSignals` is called once a run starts following: it answers a descriptor that becomes
    // readable when the run should end (the program's SIGTERM and SIGINT).
    SkillHost(std::string pluginDir, std::function<int()> stopSignals)
        : pluginDir(std::move(pluginDir)), stopSignals(std::move(stopSignals)) {}

    // 0 on success (a follower: stopped by its signals), 1 for bad input, a plug-in that won't
    // load or a database that can't be used, 2 for bad arguments.
    int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) const;

private:
    int Rate(const CommandLine& line, std::ostream& out, std::ostream& err) const;
    int Report(const CommandLine& line, std::ostream& out, std::ostream& err) const;
    int Site(const CommandLine& line, std::ostream& err) const;

    std::string pluginDir;
    std::function<int()> stopSignals;
};
