#include "LeaderboardReport.h"

#include "HostError.h"
#include "OutputText.h"
#include "StoreQueries.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <unordered_map>

using output_text::CsvField;
using output_text::Digits;
using output_text::HtmlText;
using output_text::JsonString;
using output_text::Rating;
using output_text::TerminalText;
using output_text::Width;

namespace {

// The graph shows the latest matches; a veteran's first ones would only squeeze the line.
constexpr std::size_t kGraphMatches = 200;
constexpr double kGraphWidth = 160, kGraphHeight = 32, kGraphMargin = 2;

std::string Coordinate(double value) {
    char text[32];
    return std::string(
        text,
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 1).ptr);
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; background: #fff; }
h1 { font-size: 1.6em; }
h2 { font-size: 1.25em; margin-top: 2em; }
table { border-collapse: collapse; }
th, td { padding: 0.25em 0.75em; border-bottom: 1px solid #ddd; }
th { text-align: left; background: #f4f4f4; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
svg.history polyline { fill: none; stroke: #2a6fb0; stroke-width: 1.5; }
svg.history circle { fill: #2a6fb0; }
)";

}  // namespace

LeaderboardReport::LeaderboardReport(RatingStore& store, RankingFormat format,
                                     const std::vector<std::string>& plugins,
                                     std::optional<std::size_t> top)
    : format(format) {
    const std::vector<std::string> stored = store_queries::Plugins(store);
    for (const std::string& plugin : plugins) {
        if (std::find(stored.begin(), stored.end(), plugin) == stored.end()) {
            throw HostError("the database holds no ratings by " + plugin);
        }
    }
    for (const std::string& plugin : plugins.empty() ? stored : plugins) {
        Board board{plugin, store_queries::Leaderboard(store, plugin), {}};
        if (top && board.rows.size() > *top) board.rows.resize(*top);
        if (format == RankingFormat::Html) {
            std::unordered_map<std::uint32_t, std::size_t> rowOf;
            for (std::size_t i = 0; i < board.rows.size(); ++i) rowOf[board.rows[i].key] = i;
            board.history.resize(board.rows.size());
            for (const HistoryPoint& point : store_queries::History(store, plugin)) {
                const auto it = rowOf.find(point.key);
                if (it != rowOf.end()) board.history[it->second].push_back(point.rating.skill);
            }
        }
        boards.push_back(std::move(board));
    }
}

void LeaderboardReport::Print(std::ostream& out) const {
    switch (format) {
        case RankingFormat::Text:
            return PrintText(out);
        case RankingFormat::Csv:
            return PrintCsv(out);
        case RankingFormat::Json:
            return PrintJson(out);
        case RankingFormat::Html:
            return PrintHtml(out);
    }
}

void LeaderboardReport::PrintText(std::ostream& out) const {
    for (std::size_t b = 0; b < boards.size(); ++b) {
        const Board& board = boards[b];
        if (b > 0) out << '\n';
        out << TerminalText(board.plugin) << '\n';
        std::vector<std::vector<std::string>> rows{
            {"rank", "key", "player", "skill", "weighted", "events", "matches"}};
        for (std::size_t rank = 0; rank < board.rows.size(); ++rank) {
            const LeaderboardRow& row = board.rows[rank];
            rows.push_back({Digits(rank + 1), Digits(row.key), TerminalText(row.name),
                            Rating(row.rating.skill), Rating(row.rating.weightedSkill),
                            Digits(row.events), Digits(row.matches)});
        }
        std::vector<std::size_t> widths(rows[0].size(), 0);
        for (const auto& row : rows) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                widths[i] = std::max(widths[i], Width(row[i]));
            }
        }
        for (const auto& row : rows) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const std::string pad(widths[i] - Width(row[i]), ' ');
                if (i > 0) line += "  ";
                line += i == 2 ? row[i] + pad : pad + row[i];  // names to the left
            }
            line.erase(line.find_last_not_of(' ') + 1);
            out << line << '\n';
        }
    }
}

void LeaderboardReport::PrintCsv(std::ostream& out) const {
    out << "plugin,rank,key,player,skill,weighted_skill,events,matches\n";
    for (const Board& board : boards) {
        for (std::size_t rank = 0; rank < board.rows.size(); ++rank) {
            const LeaderboardRow& row = board.rows[rank];
            out << CsvField(board.plugin) << ',' << Digits(rank + 1) << ',' << Digits(row.key)
                << ',' << CsvField(row.name) << ',' << Rating(row.rating.skill) << ','
                << Rating(row.rating.weightedSkill) << ',' << Digits(row.events) << ','
                << Digits(row.matches) << '\n';
        }
    }
}

void LeaderboardReport::PrintJson(std::ostream& out) const {
    out << "{\"plugins\": [";
    for (std::size_t b = 0; b < boards.size(); ++b) {
        const Board& board = boards[b];
        out << (b ? ",\n" : "\n") << "  {\"plugin\": " << JsonString(board.plugin)
            << ", \"ranking\": [";
        for (std::size_t rank = 0; rank < board.rows.size(); ++rank) {
            const LeaderboardRow& row = board.rows[rank];
            out << (rank ? ",\n" : "\n") << "    {\"rank\": " << Digits(rank + 1)
                << ", \"key\": " << Digits(row.key) << ", \"player\": " << JsonString(row.name)
                << ", \"skill\": " << Rating(row.rating.skill)
                << ", \"weighted_skill\": " << Rating(row.rating.weightedSkill)
                << ", \"events\": " << Digits(row.events)
                << ", \"matches\": " << Digits(row.matches) << "}";
        }
        out << "\n  ]}";
    }
    out << "\n]}\n";
}

std::string LeaderboardReport::HistoryGraph(const std::vector<double>& all) {
    const std::vector<double> skills(
        all.end() - static_cast<std::ptrdiff_t>(std::min(all.size(), kGraphMatches)), all.end());
    std::string svg = "<svg class=\"history\" width=\"" + Coordinate(kGraphWidth) + "\" height=\"" +
                      Coordinate(kGraphHeight) + "\" viewBox=\"0 0 " + Coordinate(kGraphWidth) +
                      ' ' + Coordinate(kGraphHeight) + "\" role=\"img\"><title>";
    if (skills.empty()) return svg + "no matches</title></svg>";
    const auto [low, high] = std::minmax_element(skills.begin(), skills.end());
    svg += skills.size() == 1
               ? "skill after one match: " + Rating(skills[0])
               : "skill over the last " + Digits(skills.size()) +
                     " matches: " + Rating(skills.front()) + " to " + Rating(skills.back());
    svg += "</title>";
    const double span = *high - *low;
    const auto y = [&](double skill) {
        const double share = span > 0 ? (skill - *low) / span : 0.5;
        return kGraphHeight - kGraphMargin - share * (kGraphHeight - 2 * kGraphMargin);
    };
    if (skills.size() == 1) {
        return svg + "<circle cx=\"" + Coordinate(kGraphWidth / 2) + "\" cy=\"" +
               Coordinate(y(skills[0])) + "\" r=\"2\"/></svg>";
    }
    svg += "<polyline points=\"";
    const double step = (kGraphWidth - 2 * kGraphMargin) / static_cast<double>(skills.size() - 1);
    for (std::size_t i = 0; i < skills.size(); ++i) {
        if (i > 0) svg += ' ';
        svg += Coordinate(kGraphMargin + step * static_cast<double>(i)) + ',' +
               Coordinate(y(skills[i]));
    }
    return svg + "\"/></svg>";
}

void LeaderboardReport::PrintHtml(std::ostream& out) const {
    // Everything the page needs is in it; the policy keeps it from loading anything else.
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'unsafe-inline'\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>Tarnwick leaderboard</title>\n<style>"
        << kStyle << "</style>\n</head>\n<body>\n<h1>Tarnwick leaderboard</h1>\n";
    if (boards.empty()) out << "<p>No ratings yet.</p>\n";
    for (const Board& board : boards) {
        out << "<section class=\"plugin\">\n<h2>" << HtmlText(board.plugin) << "</h2>\n"
            << "<table class=\"leaderboard\">\n<thead><tr><th>Rank</th><th>Player</th>"
               "<th>Key</th><th>Skill</th><th>Weighted</th><th>Events</th><th>Matches</th>"
               "<th>History</th></tr></thead>\n<tbody>\n";
        for (std::size_t rank = 0; rank < board.rows.size(); ++rank) {
            const LeaderboardRow& row = board.rows[rank];
            out << "<tr><td class=\"number\">" << Digits(rank + 1) << "</td><td>"
                << HtmlText(row.name) << "</td><td class=\"number\">" << Digits(row.key)
                << "</td><td class=\"number\">" << Rating(row.rating.skill)
                << "</td><td class=\"number\">" << Rating(row.rating.weightedSkill)
                << "</td><td class=\"number\">" << Digits(row.events)
                << "</td><td class=\"number\">" << Digits(row.matches) << "</td><td>"
                << HistoryGraph(board.history[rank]) << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n</section>\n";
    }
    out << "</body>\n</html>\n";
}
