#include "RankingPrinter.h"

#include "ByteText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

namespace {

// Numbers never go through the C or C++ locale, so a comma locale cannot change the output.
template <typename Number>
std::string Digits(Number value) {
    char text[24];
    return std::string(text, std::to_chars(std::begin(text), std::end(text), value).ptr);
}

// Every format prints ratings alike, so the three agree to the last digit.
std::string Rating(double value) {
    if (!std::isfinite(value)) return "null";
    char text[400];  // the largest double has 309 digits before the point
    return std::string(
        text,
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 6).ptr);
}

// A name for the terminal: no control character reaches it raw, where it could move the cursor or
// start an escape sequence.
std::string TerminalText(const std::string& bytes) {
    const std::string utf8 = byte_text::ToUtf8(bytes);
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) < 0xA0;  // U+0080 to U+009F
        if (c < 0x20 || c == 0x7F || c1) {
            text += "\xEF\xBF\xBD";  // U+FFFD
            if (c1) ++i;
        } else {
            text += utf8[i];
        }
    }
    return text;
}

// Columns are padded by characters, not bytes.
std::size_t Width(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string CsvField(const std::string& bytes) {
    std::string text = byte_text::ToUtf8(bytes);
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (char c : byte_text::ToUtf8(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += "\\u00";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0xF];
        } else {
            quoted += c;
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
        header.insert(header.end(), {TerminalText(ranking.plugin), "skill", "weighted"});
    }
    rows.push_back(header);
    for (std::size_t rank = 0; rank < log.players.size(); ++rank) {
        std::vector<std::string> row{Digits(rank + 1)};
        for (const PluginRanking& ranking : rankings) {
            const PlayerRating& rating = ranking.ranked[rank];
            row.insert(row.end(), {TerminalText(log.players[rating.player].name),
                                   Rating(rating.skill), Rating(rating.weightedSkill)});
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
            const LoggedPlayer& player = log.players[rating.player];
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
            const LoggedPlayer& player = log.players[rating.player];
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
