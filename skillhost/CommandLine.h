// skillhost's arguments.
#pragma once

#include "PluginChoice.h"
#include "RankingPrinter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    static constexpr std::size_t kDefaultBatchEvents = 65536;

    bool help = false;    // nothing else is read when set
    bool report = false;  // "skillhost report": print what the database holds
    bool site = false;    // "skillhost site": write the stats site
    std::string logPath;  // a log, or a directory of them
    bool follow = false;
    std::optional<std::string> database;
    std::optional<std::string> weaponsPath;
    std::vector<PluginChoice> plugins;
    RankingFormat format = RankingFormat::Text;
    std::int32_t useAltKey = 0;
    std::size_t batchEvents = kDefaultBatchEvents;
    std::vector<std::string> reportPlugins;  // none: every plug-in in the database
    std::optional<std::size_t> top;
    std::optional<std::string> siteDir;  // site --out, or --site when following
    std::string serverName = "Tarnwick";
    std::uint64_t minEvents = 1;  // a player shows on the leaderboards from this many events

    // Throws HostError for arguments that cannot run.
    static CommandLine Parse(const std::vector<std::string>& arguments);
    static const char* Usage();
};
