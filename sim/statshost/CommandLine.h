// skillhost's arguments.
#pragma once

#include "RankingPrinter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    std::string logPath;
    std::optional<std::string> weaponsPath;
    std::vector<std::string> plugins;
    RankingFormat format = RankingFormat::Text;
    std::int32_t useAltKey = 0;

    // Throws HostError with a usage message.
    static CommandLine Parse(const std::vector<std::string>& arguments);
    static const char* Usage();
};
