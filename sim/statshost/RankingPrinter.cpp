#include "RankingPrinter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Every format prints ratings alike, so the three agree to the last digit.
std::string Rating(double value) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

}  // namespace

PluginRanking RankingPrinter::Rank(std::string plugin, std::vector<PlayerRating> ratings) {
    std::stable_sort(
        ratings.begin(), ratings.end(),
        [](const PlayerRating& a, const PlayerRating& b) { return a.skill > b.skill; });
    return {std::move(plugin), std::move(ratings)};
}

void RankingPrinter::Print(const std::vector<PluginRanking>& rankings, std::ostream& out) const {
    switch (format) {
        case RankingFormat::Text:
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
        header.insert(header.end(), {ranking.plugin, "skill", "weighted"});
    }
    rows.push_back(header);
    for (std::size_t rank = 0; rank < log.players.size(); ++rank) {
        std::vector<std::string> row{std::to_string(rank + 1)};
        for (const PluginRanking& ranking : rankings) {
            const PlayerRating& rating = ranking.ranked[rank];
            row.insert(row.end(), {log.players[rating.player].name, Rating(rating.skill),
                                   Rating(rating.weightedSkill)});
        }
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            // Names to the left, numbers to the right.
            const bool left = i > 0 && (i - 1) % 3 == 0;
            const std::string pad(widths[i] - row[i].size(), ' ');
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
            const LoggedPlayer& player = log.players[rating.player];
            out << CsvField(ranking.plugin) << ',' << rank + 1 << ',' << player.key << ','
                << CsvField(player.name) << ',' << Rating(rating.skill) << ','
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
            const LoggedPlayer& player = log.players[rating.player];
            out << (rank ? ",\n" : "\n") << "    {\"rank\": " << rank + 1
                << ", \"key\": " << player.key << ", \"player\": " << JsonString(player.name)
                << ", \"skill\": " << Rating(rating.skill)
                << ", \"weighted_skill\": " << Rating(rating.weightedSkill) << "}";
        }
        out << "\n  ]}";
    }
    out << "\n]}\n";
}
