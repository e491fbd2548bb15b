// skillhost's arguments.
#pragma once

#include "PluginChoice.h"
#include "RankingPrinter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    bool help = false;  // nothing else is read when set
    std::string logPath;
    std::optional<std::string> weaponsPath;
    std::vector<PluginChoice> plugins;
    RankingFormat format = RankingFormat::Text;
    std::int32_t useAltKey = 0;

    // Throws HostError for arguments that cannot run.
    static CommandLine Parse(const std::vector<std::string>& arguments);
    static const char* Usage();
};
