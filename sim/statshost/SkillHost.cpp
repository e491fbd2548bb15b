#include "SkillHost.h"

#include "CommandLine.h"
#include "EventLog.h"
#include "HostError.h"
#include "PluginModule.h"
#include "PluginRun.h"
#include "RankingPrinter.h"
#include "WeaponTable.h"

#include <sstream>

int SkillHost::Run(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) const {
    CommandLine line;
    try {
        line = CommandLine::Parse(arguments);
    } catch (const HostError& error) {
        err << "skillhost: " << error.what() << '\n' << CommandLine::Usage();
        return 2;
    }
    if (line.help) {
        out << CommandLine::Usage();
        out.flush();
        return out ? 0 : 1;
    }
    WeaponTable weapons;
    try {
        if (line.weaponsPath) weapons.ReadWeights(*line.weaponsPath);
        const EventLog log = EventLog::Read(line.logPath, weapons);
        std::vector<PluginModule> modules;
        for (const PluginChoice& plugin : line.plugins) {
            modules.push_back(PluginModule::Load(plugin, pluginDir));
        }
        WeaponTable::Install(&weapons);
        std::vector<PluginRanking> rankings;
        for (const PluginModule& module : modules) {
            rankings.push_back(
                RankingPrinter::Rank(module.Name(), PluginRun(module, line.useAltKey).Run(log)));
        }
        WeaponTable::Install(nullptr);
        // Nothing reaches the output unless every plug-in ran.
        std::ostringstream text;
        RankingPrinter(log, line.format).Print(rankings, text);
        out << text.str();
        out.flush();
        if (!out) {
            err << "skillhost: cannot write the ranking\n";
            return 1;
        }
        return 0;
    } catch (const HostError& error) {
        WeaponTable::Install(nullptr);
        err << "skillhost: " << error.what() << '\n';
        return 1;
    }
}
