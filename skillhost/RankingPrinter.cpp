#include "RankingPrinter.h"

#include "OutputText.h"

#include <algorithm>

using output_text::CsvField;
using output_text::Digits;
using output_text::JsonString;
using output_text::Rating;
using output_text::TerminalText;
using output_text::Width;

PluginRanking RankingPrinter::Rank(std::string plugin, std::vector<PlayerRating> ratings) {
    std::stable_sort(
        ratings.begin(), ratings.end(),
        [](const PlayerRating& a, const PlayerRating& b) { return a.skill > b.skill; });
    return {std::move(plugin), std::move(ratings)};
}

void RankingPrinter::Print(const std::vector<PluginRanking>& rankings, std::ostream& out) const {
    switch (format) {
        case RankingFormat::Text:
        case RankingFormat::Html:  // only the report writes a page
            PrintText(rankings, out);
            break;
        case RankingFormat::Csv:
            PrintCsv(rankings, out);
            break;
        case RankingFormat::Json:
            PrintJson(rankings, out);
            break;
    }
}

void RankingPrinter::PrintText(const std::vector<PluginRanking>& rankings,
                               std::ostream& out) const {
    // One row per rank; each plug-in has a player, a skill and a weighted column.
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"rank"};
    for (const PluginRanking& ranking : rankings) {
        header.insert(header.end(), {TerminalText(ranking.plugin), "skill", "weighted"});
    }
    rows.push_back(header);
    for (std::size_t rank = 0; rank < book.Size(); ++rank) {
        std::vector<std::string> row{Digits(rank + 1)};
        for (const PluginRanking& ranking : rankings) {
            const PlayerRating& rating = ranking.ranked[rank];
            row.insert(row.end(), {TerminalText(book[rating.player].name), Rating(rating.skill),
                                   Rating(rating.weightedSkill)});
        }
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Names to the left, numbers to the right.
            const bool left = i > 0 && (i - 1) % 3 == 0;
            const std::string pad(widths[i] - Width(row[i]), ' ');
            if (i > 0) line += "  ";
            line += left ? row[i] + pad : pad + row[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

void RankingPrinter::PrintCsv(const std::vector<PluginRanking>& rankings, std::ostream& out) const {
    out << "plugin,rank,key,player,skill,weighted_skill\n";
    for (const PluginRanking& ranking : rankings) {
        for (std::size_t rank = 0; rank < ranking.ranked.size(); ++rank) {
            const PlayerRating& rating = ranking.ranked[rank];
            const PlayerBook::Player& player = book[rating.player];
            out << CsvField(ranking.plugin) << ',' << Digits(rank + 1) << ',' << Digits(player.key)
                << ',' << CsvField(player.name) << ',' << Rating(rating.skill) << ','
                << Rating(rating.weightedSkill) << '\n';
        }
    }
}

void RankingPrinter::PrintJson(const std::vector<PluginRanking>& rankings,
                               std::ostream& out) const {
    out << "{\"plugins\": [";
    for (std::size_t p = 0; p < rankings.size(); ++p) {
        const PluginRanking& ranking = rankings[p];
        out << (p ? ",\n" : "\n") << "  {\"plugin\": " << JsonString(ranking.plugin)
            << ", \"ranking\": [";
        for (std::size_t rank = 0; rank < ranking.ranked.size(); ++rank) {
            const PlayerRating& rating = ranking.ranked[rank];
            const PlayerBook::Player& player = book[rating.player];
            out << (rank ? ",\n" : "\n") << "    {\"rank\": " << Digits(rank + 1)
                << ", \"key\": " << Digits(player.key)
                << ", \"player\": " << JsonString(player.name)
                << ", \"skill\": " << Rating(rating.skill)
                << ", \"weighted_skill\": " << Rating(rating.weightedSkill) << "}";
        }
        out << "\n  ]}";
    }
    out << "\n]}\n";
}
