// Prints the players ranked by each plug-in's first rating, the plug-ins side by side.
#pragma once

#include "PlayerBook.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

enum class RankingFormat { Text, Csv, Json, Html };

struct PlayerRating {
    std::uint32_t player;  // index in the PlayerBook
    double skill;
    double weightedSkill;
};

struct PluginRanking {
    std::string plugin;
    std::vector<PlayerRating> ranked;  // best first
};

class RankingPrinter {
public:
    RankingPrinter(const PlayerBook& book, RankingFormat format) : book(book), format(format) {}

    // Highest skill first; equal skills keep the order the players were met in.
    static PluginRanking Rank(std::string plugin, std::vector<PlayerRating> ratings);

    void Print(const std::vector<PluginRanking>& rankings, std::ostream& out) const;

private:
    void PrintText(const std::vector<PluginRanking>& rankings, std::ostream& out) const;
    void PrintCsv(const std::vector<PluginRanking>& rankings, std::ostream& out) const;
    void PrintJson(const std::vector<PluginRanking>& rankings, std::ostream& out) const;

    const PlayerBook& book;
    RankingFormat format;
};
