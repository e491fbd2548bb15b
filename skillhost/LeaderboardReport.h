// The leaderboards a store holds, one per plug-in: text, CSV, JSON, or an HTML page of its own
// (no script, nothing fetched) with each player's rating history drawn as a small graph.
#pragma once

#include "RankingPrinter.h"
#include "RatingStore.h"
#include "StoreQueries.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

class LeaderboardReport {
public:
    // Throws HostError for a plug-in the store has no ratings of.
    LeaderboardReport(RatingStore& store, RankingFormat format,
                      const std::vector<std::string>& plugins, std::optional<std::size_t> top);

    void Print(std::ostream& out) const;

    // The graph of one player's history: an inline SVG image.
    static std::string HistoryGraph(const std::vector<double>& skills);

private:
    struct Board {
        std::string plugin;
        std::vector<LeaderboardRow> rows;
        std::vector<std::vector<double>> history;  // for each row: skill after each match
    };

    void PrintText(std::ostream& out) const;
    void PrintCsv(std::ostream& out) const;
    void PrintJson(std::ostream& out) const;
    void PrintHtml(std::ostream& out) const;

    RankingFormat format;
    std::vector<Board> boards;
};
