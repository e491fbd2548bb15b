// Prints the players ranked by each plug-in's first rating, the plug-ins side by side.
#pragma once

#include "EventLog.h"
#include "PluginRun.h"

#include <ostream>
#include <string>
#include <vector>

enum class RankingFormat { Text, Csv, Json };

struct PluginRanking {
    std::string plugin;
    std::vector<PlayerRating> ranked;  // best first
};

class RankingPrinter {
public:
    RankingPrinter(const EventLog& log, RankingFormat format) : log(log), format(format) {}

    // Highest skill first; equal skills keep the log's player order.
    static PluginRanking Rank(std::string plugin, std::vector<PlayerRating> ratings);

    void Print(const std::vector<PluginRanking>& rankings, std::ostream& out) const;

private:
    void PrintText(const std::vector<PluginRanking>& rankings, std::ostream& out) const;
    void PrintCsv(const std::vector<PluginRanking>& rankings, std::ostream& out) const;
    void PrintJson(const std::vector<PluginRanking>& rankings, std::ostream& out) const;

    const EventLog& log;
    RankingFormat format;
};
