#include "StatsSite.h"

#include "OutputText.h"
#include "SiteAssets.h"
#include "StoreQueries.h"

#include <algorithm>
#include <cmath>
#include <functional>

using output_text::Digits;
using output_text::HtmlText;
using output_text::JsonString;
using store_queries::Integer;
using store_queries::OptionalInteger;
using store_queries::Real;
using store_queries::Text;

namespace {

struct KnownRating {
    const char* plugin;
    const char* title;
    const char* meaning;
};

constexpr KnownRating kKnownRatings[] = {
    {"brindle_skill", "Brindle rating",
     "Chess-style: each kill between teams moves points from the victim to the killer, more when "
     "the victim was rated higher. Kills within a team count for nothing."},
    {"quorvex_skill", "Quorvex rating",
     "Whole points move with each kill in proportion to the two ratings, never below 1000; team "
     "kills cost points and ratings decay at the end of each round. The weighted rating scales "
     "each kill by its weapon."},
    {"corvane_skill", "Corvane rating",
     "Whole points move with each kill between teams in proportion to the two ratings; a kill "
     "on one's own team costs the killer 5. The weighted rating scales each kill by its weapon."},
};

std::string Title(const std::string& plugin) {
    for (const KnownRating& known : kKnownRatings) {
        if (plugin == known.plugin) return known.title;
    }
    std::string name = plugin.ends_with("_skill") ? plugin.substr(0, plugin.size() - 6) : plugin;
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 32);
    return name + " rating";
}

std::string Meaning(const std::string& plugin) {
    for (const KnownRating& known : kKnownRatings) {
        if (plugin == known.plugin) return known.meaning;
    }
    return "The rating of the plug-in " + plugin + ".";
}

// For people: to one decimal, and whole numbers without one.
std::string Shown(double value) {
    if (!std::isfinite(value)) return "–";
    char text[400];
    std::string shown(
        text,
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 1).ptr);
    if (shown.ends_with(".0")) shown.resize(shown.size() - 2);
    return shown == "-0" ? "0" : shown;
}

std::string Ratio(std::uint64_t kills, std::uint64_t deaths) {
    const double ratio = deaths == 0 ? static_cast<double>(kills)
                                     : static_cast<double>(kills) / static_cast<double>(deaths);
    char text[64];
    return std::string(
        text,
        std::to_chars(std::begin(text), std::end(text), ratio, std::chars_format::fixed, 2).ptr);
}

std::string Duration(std::uint64_t seconds) {
    if (seconds < 60) return Digits(seconds) + " s";
    if (seconds < 3600) return Digits(seconds / 60) + " min";
    const std::uint64_t minutes = (seconds / 60) % 60;
    return Digits(seconds / 3600) + " h " + (minutes < 10 ? "0" : "") + Digits(minutes) + " min";
}

// UTC in `format`; `missing` when there is no time.
std::string Utc(const std::optional<std::int64_t>& at, const char* format, const char* missing) {
    if (!at) return missing;
    const std::time_t time = static_cast<std::time_t>(*at);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

std::string Date(const std::optional<std::int64_t>& at) {
    return Utc(at, "%Y-%m-%d %H:%M UTC", "–");
}

// For JSON: a quoted ISO 8601 time, or null.
std::string Iso(const std::optional<std::int64_t>& at) {
    return Utc(at, "\"%Y-%m-%dT%H:%M:%SZ\"", "null");
}

std::string KeyList(const std::set<std::uint32_t>& keys) {
    std::string list = " WHERE key IN (";
    for (std::uint32_t key : keys) list += Digits(key) + ',';
    list.back() = ')';
    return list;
}

std::string JsonNumber(double value) {
    return output_text::Rating(value);
}

}  // namespace

StatsSite::StatsSite(RatingStore& store, SiteOptions options)
    : store(store), options(std::move(options)), writer(this->options.dir) {}

// Adds (sign 1) or takes back (-1) a player's part in the matches' totals.
void StatsSite::Count(const Player& player, int sign) {
    for (const Played& played : player.played) {
        Match& match = matches[played.log];
        match.players += static_cast<std::uint64_t>(sign);
        match.kills += static_cast<std::uint64_t>(sign) * played.kills;
    }
}

void StatsSite::Load(const std::set<std::uint32_t>* keys) {
    const std::string where = keys ? KeyList(*keys) : "";
    std::unordered_map<std::uint32_t, Player> loaded;
    const auto player = [&](const Value& key) -> Player& {
        Player& found = loaded[static_cast<std::uint32_t>(Integer(key))];
        found.key = static_cast<std::uint32_t>(Integer(key));
        found.ratings.resize(plugins.size());
        found.events.resize(plugins.size());
        found.history.resize(plugins.size());
        return found;
    };
    const auto pluginIndex = [&](const Value& name) {
        return static_cast<std::size_t>(std::find(plugins.begin(), plugins.end(), Text(name)) -
                                        plugins.begin());
    };
    for (const auto& row : store.Select(("SELECT key, name FROM skill_players" + where).c_str())) {
        player(row[0]).name = Text(row[1]);
    }
    for (const auto& row : store.Select(
             ("SELECT key, plugin, skill, weighted_skill, events FROM skill_ratings" + where)
                 .c_str())) {
        const std::size_t p = pluginIndex(row[1]);
        if (p == plugins.size()) continue;
        Player& rated = player(row[0]);
        rated.ratings[p] = Rating{Real(row[2]), Real(row[3])};
        rated.events[p] = static_cast<std::uint64_t>(Integer(row[4]));
    }
    for (const auto& row : store.Select(("SELECT key, plugin, log_id, skill FROM skill_history" +
                                         where + " ORDER BY key, log_id")
                                            .c_str())) {
        const std::size_t p = pluginIndex(row[1]);
        if (p < plugins.size())
            player(row[0]).history[p].emplace_back(Integer(row[2]), Real(row[3]));
    }
    for (const auto& row : store.Select(("SELECT key, log_id, kills, deaths, team_kills, seconds, "
                                         "first_seen, last_seen FROM skill_facts" +
                                         where + " ORDER BY key, log_id")
                                            .c_str())) {
        Player& seen = player(row[0]);
        const auto kills = static_cast<std::uint64_t>(Integer(row[2]));
        const auto deaths = static_cast<std::uint64_t>(Integer(row[3]));
        const auto seconds = static_cast<std::uint64_t>(Integer(row[5]));
        seen.played.push_back({Integer(row[1]), kills, deaths, seconds});
        seen.kills += kills;
        seen.deaths += deaths;
        seen.teamKills += static_cast<std::uint64_t>(Integer(row[4]));
        seen.seconds += seconds;
        if (const auto first = OptionalInteger(row[6])) {
            seen.firstSeen = std::min(seen.firstSeen.value_or(*first), *first);
        }
        if (const auto last = OptionalInteger(row[7])) {
            seen.lastSeen = std::max(seen.lastSeen.value_or(*last), *last);
        }
    }
    for (const auto& row :
         store.Select(("SELECT key, weapon, kills FROM skill_weapon_kills" + where).c_str())) {
        player(row[0]).weaponKills[Text(row[1])] += static_cast<std::uint64_t>(Integer(row[2]));
    }
    for (auto& [key, fresh] : loaded) {
        std::set<std::int64_t> logs;
        for (const auto& history : fresh.history) {
            for (const auto& point : history) logs.insert(point.first);
        }
        for (const Played& played : fresh.played) logs.insert(played.log);
        fresh.matches = logs.size();
        if (const auto old = players.find(key); old != players.end()) Count(old->second, -1);
        Count(fresh, 1);
        players[key] = std::move(fresh);
    }
    for (const auto& row : store.Select("SELECT id, map, started, seconds FROM skill_logs")) {
        Match& match = matches[Integer(row[0])];
        match.id = Integer(row[0]);
        match.map = Text(row[1]);
        match.started = OptionalInteger(row[2]);
        match.seconds = static_cast<std::uint64_t>(Integer(row[3]));
    }
}

bool StatsSite::BoardOrder::operator()(const Player* a, const Player* b) const {
    const double x = a->ratings[plugin]->skill, y = b->ratings[plugin]->skill;
    if (std::isnan(x) != std::isnan(y)) return std::isnan(y);  // ratings before none
    if (x != y && !std::isnan(x)) return x > y;
    return a->key < b->key;
}

void StatsSite::Sort() {
    boards.assign(plugins.size(), {});
    for (const auto& [key, player] : players) {
        for (std::size_t p = 0; p < plugins.size(); ++p) {
            if (player.ratings[p] && player.events[p] >= options.minEvents) {
                boards[p].push_back(&player);
            }
        }
    }
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        std::sort(boards[p].begin(), boards[p].end(), BoardOrder{p});
    }
    boardSkills.assign(plugins.size(), {});
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        for (const Player* player : boards[p]) boardSkills[p].push_back(player->ratings[p]->skill);
    }
}

void StatsSite::Build(const std::set<std::uint32_t>* changed, std::time_t now) {
    updated = Date(static_cast<std::int64_t>(now));
    const std::vector<std::string> stored = store_queries::Plugins(store);
    const bool whole = changed == nullptr || stored != plugins;
    if (!whole && changed->empty()) return;
    if (whole) {
        plugins = stored;
        players.clear();
        matches.clear();
        writer.Write("site.css", site_assets::kStyle);
        writer.Write("site.js", site_assets::kScript);
    }
    Load(whole ? nullptr : changed);
    Sort();
    // The search's data holds every player of every rating: a batch writes it again only when
    // it is a minute old.
    WriteBoards(whole || now - dataWritten >= kDataSeconds, now);
    for (const auto& [key, player] : players) {
        if (whole || changed->contains(key)) WritePlayer(player);
    }
    WriteMatches();
    WriteWeaponsAndMaps();
    WriteFeed();
    WriteIndex();
}

std::string StatsSite::Page(const std::string& title, const std::string& body, bool nested) const {
    const std::string up = nested ? "../" : "";
    // Nothing but the site's own style sheet and script: no inline code, nothing from elsewhere.
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'self'; script-src 'self'; img-src 'self'; connect-src 'self'; "
           "base-uri 'none'; form-action 'none'\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           HtmlText(title) + " · " + HtmlText(options.serverName) +
           "</title>\n<link rel=\"stylesheet\" href=\"" + up + "site.css\">\n<script defer src=\"" +
           up +
           "site.js\"></script>\n</head>\n<body>\n<header class=\"top\"><a class=\"brand\" "
           "href=\"" +
           up + "index.html\">" + HtmlText(options.serverName) + "</a><nav><a href=\"" + up +
           "index.html\">Ratings</a><a href=\"" + up + "matches.html\">Matches</a><a href=\"" + up +
           "weapons.html\">Weapons</a><a href=\"" + up +
           "maps.html\">Maps</a></nav></header>\n<main>\n" + body + "</main>\n<footer>Updated " +
           updated + " · <a href=\"" + up +
           "feed.json\">JSON feed</a></footer>\n</body>\n</html>\n";
}

std::string StatsSite::PlayerLink(const Player& player, bool nested) const {
    return "<a href=\"" + std::string(nested ? "" : "players/") + Digits(player.key) + ".html\">" +
           HtmlText(player.name.empty() ? Digits(player.key) : player.name) + "</a>";
}

std::string StatsSite::MapName(const std::string& map) const {
    const std::size_t slash = map.rfind('/');
    const std::string name = slash == std::string::npos ? map : map.substr(slash + 1);
    return name.empty() ? "unknown" : name;
}

std::string StatsSite::TopTable(std::size_t p, std::size_t count) const {
    std::string html =
        "<table class=\"top\"><thead><tr><th class=\"n\">#</th><th>Player</th>"
        "<th class=\"n\">Rating</th><th class=\"n\">K/D</th><th class=\"n\">"
        "Matches</th></tr></thead><tbody>\n";
    for (std::size_t rank = 0; rank < count && rank < boards[p].size(); ++rank) {
        const Player& player = *boards[p][rank];
        html += "<tr><td class=\"n\">" + Digits(rank + 1) + "</td><td>" +
                PlayerLink(player, false) + "</td><td class=\"n\">" +
                Shown(player.ratings[p]->skill) + "</td><td class=\"n\">" +
                Ratio(player.kills, player.deaths) + "</td><td class=\"n\">" +
                Digits(player.matches) + "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

std::string StatsSite::BoardTable(std::size_t p, std::size_t from, std::size_t to) const {
    const std::string up = "../";
    std::string html =
        "<div class=\"scroll\"><table class=\"board\" data-plugin=\"" + HtmlText(plugins[p]) +
        "\"><thead><tr><th class=\"n\" data-sort=\"rank\">#</th><th data-sort=\"name\">Player</th>"
        "<th class=\"n\" data-sort=\"rating\">Rating</th><th class=\"n wide\" "
        "data-sort=\"weighted\">"
        "Weighted</th><th class=\"n\" data-sort=\"kills\">Kills</th><th class=\"n wide\" "
        "data-sort=\"deaths\">Deaths</th><th class=\"n\" data-sort=\"ratio\">K/D</th>"
        "<th class=\"n wide\" data-sort=\"matches\">Matches</th><th class=\"wide\" "
        "data-sort=\"seen\">Last seen</th></tr></thead>\n<tbody>\n";
    for (std::size_t rank = from; rank < to && rank < boards[p].size(); ++rank) {
        const Player& player = *boards[p][rank];
        const Rating& rating = *player.ratings[p];
        html += "<tr><td class=\"n\">" + Digits(rank + 1) + "</td><td><a href=\"" + up +
                "players/" + Digits(player.key) + ".html\">" +
                HtmlText(player.name.empty() ? Digits(player.key) : player.name) +
                "</a></td><td class=\"n\">" + Shown(rating.skill) + "</td><td class=\"n wide\">" +
                Shown(rating.weightedSkill) + "</td><td class=\"n\">" + Digits(player.kills) +
                "</td><td class=\"n wide\">" + Digits(player.deaths) + "</td><td class=\"n\">" +
                Ratio(player.kills, player.deaths) + "</td><td class=\"n wide\">" +
                Digits(player.matches) + "</td><td class=\"wide\">" + Date(player.lastSeen) +
                "</td></tr>\n";
    }
    return html + "</tbody></table></div>\n";
}

void StatsSite::WriteBoards(bool withData, std::time_t now) {
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        const std::vector<const Player*>& board = boards[p];
        const std::size_t ranked = std::min(board.size(), kStaticRanks);
        const std::size_t pages = std::max<std::size_t>(1, (ranked + kBoardPage - 1) / kBoardPage);
        for (std::size_t page = 0; page < pages; ++page) {
            // A page is made again only when a row on it shows something else.
            std::size_t hash = board.size();
            for (std::size_t rank = page * kBoardPage;
                 rank < std::min(ranked, (page + 1) * kBoardPage); ++rank) {
                const Player& player = *board[rank];
                hash = hash * 31 + player.key;
                hash = hash * 31 + std::hash<double>()(player.ratings[p]->skill);
                hash = hash * 31 + std::hash<double>()(player.ratings[p]->weightedSkill);
                hash = hash * 31 + player.kills * 7 + player.deaths * 13 + player.matches;
                hash = hash * 31 + static_cast<std::size_t>(player.lastSeen.value_or(0));
                hash = hash * 31 + std::hash<std::string>()(player.name);
            }
            const std::string name = "ratings/" + plugins[p] + "-" + Digits(page + 1) + ".html";
            if (const auto known = boardPageHashes.find(name);
                known != boardPageHashes.end() && known->second == hash) {
                continue;
            }
            boardPageHashes[name] = hash;
            std::string body =
                "<h1>" + HtmlText(Title(plugins[p])) + "</h1>\n<p class=\"lead\">" +
                HtmlText(Meaning(plugins[p])) + "</p>\n" +
                "<form class=\"tools\" hidden><label>Find a player <input type=\"search\" "
                "name=\"q\" autocomplete=\"off\"></label><label>At least <input type=\"number\" "
                "name=\"min\" min=\"0\" value=\"" +
                Digits(options.minEvents) + "\"> events</label></form>\n" +
                BoardTable(p, page * kBoardPage, std::min(ranked, (page + 1) * kBoardPage)) +
                "<nav class=\"pager\">";
            if (page > 0) {
                body += "<a rel=\"prev\" href=\"" + HtmlText(plugins[p]) + "-" + Digits(page) +
                        ".html\">← Better</a>";
            }
            body += "<span>Page " + Digits(page + 1) + " of " + Digits(pages) + " · " +
                    Digits(board.size()) + (board.size() == 1 ? " player" : " players") +
                    " with at least " + Digits(options.minEvents) +
                    (options.minEvents == 1 ? " event" : " events") + "</span>";
            if (page + 1 < pages) {
                body += "<a rel=\"next\" href=\"" + HtmlText(plugins[p]) + "-" + Digits(page + 2) +
                        ".html\">Next →</a>";
            }
            body += "</nav>\n";
            if (page + 1 == pages && board.size() > ranked) {
                body +=
                    "<p>Every player further down has a page of their own; the search above "
                    "finds them.</p>\n";
            }
            writer.Write(name, Page(Title(plugins[p]), body, true));
        }
        if (!withData) continue;
        // Every row, for the script's search, sorting and paging.
        std::string data = "{\"plugin\": " + JsonString(plugins[p]) + ", \"rows\": [";
        for (std::size_t rank = 0; rank < board.size(); ++rank) {
            const Player& player = *board[rank];
            data += (rank ? ",\n" : "\n") + std::string("[") + Digits(player.key) + "," +
                    JsonString(player.name) + "," + JsonNumber(player.ratings[p]->skill) + "," +
                    JsonNumber(player.ratings[p]->weightedSkill) + "," + Digits(player.kills) +
                    "," + Digits(player.deaths) + "," + Digits(player.matches) + "," +
                    Digits(player.events[p]) + "," + Iso(player.lastSeen) + "]";
        }
        writer.Write("data/" + plugins[p] + ".json", data + "\n]}\n");
    }
    if (withData) dataWritten = now;
}

void StatsSite::WritePlayer(const Player& player) {
    const std::string name = player.name.empty() ? Digits(player.key) : player.name;
    std::string body = "<h1>" + HtmlText(name) + "</h1>\n<p class=\"lead\">Last seen " +
                       Date(player.lastSeen) + " · first seen " + Date(player.firstSeen) +
                       " · played " + Duration(player.seconds) + " in " + Digits(player.matches) +
                       (player.matches == 1 ? " match" : " matches") +
                       "</p>\n<section class=\"cards\">\n";
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        if (!player.ratings[p]) continue;
        body += "<div class=\"card\"><h2>" + HtmlText(Title(plugins[p])) +
                "</h2><p class=\"big\">" + Shown(player.ratings[p]->skill) + "</p><p>weighted " +
                Shown(player.ratings[p]->weightedSkill);
        const auto& board = boards[p];
        const auto at = std::lower_bound(board.begin(), board.end(), &player, BoardOrder{p});
        if (at != board.end() && *at == &player) {
            const auto rank = static_cast<std::size_t>(at - board.begin()) + 1;
            body += " · rank " + Digits(rank) + " of " + Digits(boards[p].size());
            const auto& history = player.history[p];
            if (history.size() >= 2) {
                // Where the rating before the last match would stand among today's.
                const double before = history[history.size() - 2].second;
                const auto& skills = boardSkills[p];
                std::size_t above = static_cast<std::size_t>(
                    std::upper_bound(skills.begin(), skills.end(), before, std::greater<>()) -
                    skills.begin());
                if (player.ratings[p]->skill > before) --above;
                const auto moved = static_cast<long long>(above + 1) - static_cast<long long>(rank);
                body += moved > 0   ? " · <span class=\"up\">▲ " + Digits(moved) + "</span>"
                        : moved < 0 ? " · <span class=\"down\">▼ " + Digits(-moved) + "</span>"
                                    : " · no change";
                body += " with the last match";
            }
        } else {
            body += " · not ranked yet (fewer than " + Digits(options.minEvents) + " events)";
        }
        body += "</p></div>\n";
    }
    std::string favourite = "–";
    std::uint64_t most = 0;
    for (const auto& [weapon, kills] : player.weaponKills) {
        if (kills > most) {
            most = kills;
            favourite = HtmlText(weapon) + " (" + Digits(kills) + " kills)";
        }
    }
    body +=
        "</section>\n<section class=\"cards facts\"><div class=\"card\"><h2>Kills</h2><p "
        "class=\"big\">" +
        Digits(player.kills) +
        "</p></div><div class=\"card\"><h2>Deaths</h2>"
        "<p class=\"big\">" +
        Digits(player.deaths) +
        "</p></div><div class=\"card\"><h2>K/D</h2>"
        "<p class=\"big\">" +
        Ratio(player.kills, player.deaths) +
        "</p></div><div class=\"card\"><h2>Team kills</h2><p class=\"big\">" +
        Digits(player.teamKills) + "</p></div><div class=\"card\"><h2>Favourite weapon</h2><p>" +
        favourite + "</p></div></section>\n";

    // Every rating on one axis: the matches in the order they were played.
    std::set<std::int64_t> logs;
    double low = INFINITY, high = -INFINITY;
    for (const auto& history : player.history) {
        for (const auto& [log, skill] : history) {
            logs.insert(log);
            if (std::isfinite(skill)) {
                low = std::min(low, skill);
                high = std::max(high, skill);
            }
        }
    }
    if (logs.size() >= 2 && low <= high) {
        if (high - low < 10) {
            low -= 5;
            high += 5;
        }
        constexpr double kWidth = 640, kHeight = 220, kLeft = 48, kRight = 12, kTop = 12,
                         kBottom = 28;
        const std::vector<std::int64_t> order(logs.begin(), logs.end());
        const auto x = [&](std::int64_t log) {
            const auto index = std::lower_bound(order.begin(), order.end(), log) - order.begin();
            return kLeft + (kWidth - kLeft - kRight) * static_cast<double>(index) /
                               static_cast<double>(order.size() - 1);
        };
        const auto y = [&](double skill) {
            return kTop + (kHeight - kTop - kBottom) * (high - skill) / (high - low);
        };
        const auto coordinate = [](double value) { return Digits(std::lround(value)); };
        body +=
            "<h2>Ratings over time</h2>\n<div class=\"scroll\"><svg class=\"chart\" viewBox=\"0 "
            "0 " +
            coordinate(kWidth) + " " + coordinate(kHeight) +
            "\" role=\"img\" aria-label=\"Ratings after each match\">";
        for (int tick = 0; tick <= 4; ++tick) {
            const double value = low + (high - low) * tick / 4;
            body += "<line class=\"grid\" x1=\"" + coordinate(kLeft) + "\" x2=\"" +
                    coordinate(kWidth - kRight) + "\" y1=\"" + coordinate(y(value)) + "\" y2=\"" +
                    coordinate(y(value)) + "\"/><text class=\"tick\" x=\"" + coordinate(kLeft - 6) +
                    "\" y=\"" + coordinate(y(value) + 4) + "\">" + Digits(std::lround(value)) +
                    "</text>";
        }
        const auto label = [&](std::int64_t log, const char* otherwise) {
            const auto& started = matches.at(log).started;
            return started ? Date(started).substr(0, 10) : std::string(otherwise);
        };
        body += "<text class=\"tick start\" x=\"" + coordinate(kLeft) + "\" y=\"" +
                coordinate(kHeight - 8) + "\">" + label(order.front(), "first match") +
                "</text><text class=\"tick end\" x=\"" + coordinate(kWidth - kRight) + "\" y=\"" +
                coordinate(kHeight - 8) + "\">" + label(order.back(), "last match") + "</text>";
        for (std::size_t p = 0; p < plugins.size(); ++p) {
            if (player.history[p].empty()) continue;
            body += "<polyline class=\"line" + Digits(p % 4) + "\" points=\"";
            for (const auto& [log, skill] : player.history[p]) {
                body += coordinate(x(log)) + "," + coordinate(y(skill)) + " ";
            }
            body.back() = '"';
            body += "/>";
        }
        body += "</svg></div>\n<p class=\"legend\">";
        for (std::size_t p = 0; p < plugins.size(); ++p) {
            if (!player.history[p].empty()) {
                body += "<span class=\"key" + Digits(p % 4) + "\">" + HtmlText(Title(plugins[p])) +
                        "</span> ";
            }
        }
        body += "</p>\n";
    }
    body +=
        "<h2>Matches</h2>\n<div class=\"scroll\"><table><thead><tr><th>Started</th><th>Map</th>"
        "<th class=\"n\">Kills</th><th class=\"n\">Deaths</th><th class=\"n\">Played</th>"
        "</tr></thead><tbody>\n";
    std::size_t shown = 0;
    for (auto it = player.played.rbegin(); it != player.played.rend() && shown < 20;
         ++it, ++shown) {
        const Match& match = matches.at(it->log);
        body += "<tr><td>" + Date(match.started) + "</td><td>" + HtmlText(MapName(match.map)) +
                "</td><td class=\"n\">" + Digits(it->kills) + "</td><td class=\"n\">" +
                Digits(it->deaths) + "</td><td class=\"n\">" + Duration(it->seconds) +
                "</td></tr>\n";
    }
    body += "</tbody></table></div>\n";
    writer.Write("players/" + Digits(player.key) + ".html", Page(name, body, true));
}

void StatsSite::WriteIndex() {
    std::string body = "<h1>" + HtmlText(options.serverName) + "</h1>\n<p class=\"lead\">" +
                       Digits(players.size()) + (players.size() == 1 ? " player, " : " players, ") +
                       Digits(matches.size()) + (matches.size() == 1 ? " match" : " matches") +
                       ". Updated " + updated + ".</p>\n<section class=\"boards\">\n";
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        body += "<section class=\"card\"><h2>" + HtmlText(Title(plugins[p])) + "</h2><p>" +
                HtmlText(Meaning(plugins[p])) + "</p>\n" + TopTable(p, 10) +
                "<p><a href=\"ratings/" + HtmlText(plugins[p]) + "-1.html\">All " +
                Digits(boards[p].size()) + " players →</a></p></section>\n";
    }
    if (plugins.empty()) body += "<p>No ratings yet.</p>\n";
    body += "</section>\n<h2>Latest matches</h2>\n" + MatchTable(Latest(), 5) +
            "<p><a href=\"matches.html\">Every match →</a></p>\n";
    writer.Write("index.html", Page("Ratings", body, false));
}

std::vector<const StatsSite::Match*> StatsSite::Latest() const {
    std::vector<const Match*> order;
    for (const auto& [id, match] : matches) order.push_back(&match);
    std::sort(order.begin(), order.end(), [](const Match* a, const Match* b) {
        return std::pair(a->started.value_or(0), a->id) > std::pair(b->started.value_or(0), b->id);
    });
    return order;
}

std::string StatsSite::MatchTable(const std::vector<const Match*>& order, std::size_t count) const {
    std::string html =
        "<div class=\"scroll\"><table><thead><tr><th>Started</th><th>Map</th>"
        "<th class=\"n\">Length</th><th class=\"n\">Players</th>"
        "<th class=\"n\">Kills</th></tr></thead><tbody>\n";
    for (std::size_t i = 0; i < order.size() && i < count; ++i) {
        const Match& match = *order[i];
        html += "<tr><td>" + Date(match.started) + "</td><td>" + HtmlText(MapName(match.map)) +
                "</td><td class=\"n\">" + Duration(match.seconds) + "</td><td class=\"n\">" +
                Digits(match.players) + "</td><td class=\"n\">" + Digits(match.kills) +
                "</td></tr>\n";
    }
    return html + "</tbody></table></div>\n";
}

void StatsSite::WriteMatches() {
    const std::vector<const Match*> order = Latest();
    std::string body = "<h1>Matches</h1>\n" + MatchTable(order, 500);
    if (order.size() > 500)
        body += "<p>The latest 500 of " + Digits(order.size()) + " matches.</p>\n";
    writer.Write("matches.html", Page("Matches", body, false));
}

void StatsSite::WriteWeaponsAndMaps() {
    struct Weapon {
        std::uint64_t kills = 0, players = 0, best = 0;
        const Player* bestPlayer = nullptr;
    };
    std::map<std::string, Weapon> weapons;
    std::uint64_t all = 0;
    for (const auto& [key, player] : players) {
        for (const auto& [name, kills] : player.weaponKills) {
            Weapon& weapon = weapons[name];
            weapon.kills += kills;
            ++weapon.players;
            all += kills;
            if (kills > weapon.best ||
                (kills == weapon.best && weapon.bestPlayer && key < weapon.bestPlayer->key)) {
                weapon.best = kills;
                weapon.bestPlayer = &player;
            }
        }
    }
    std::vector<std::pair<std::string, Weapon>> byKills(weapons.begin(), weapons.end());
    std::stable_sort(byKills.begin(), byKills.end(),
                     [](const auto& a, const auto& b) { return a.second.kills > b.second.kills; });
    std::string body =
        "<h1>Weapons</h1>\n<div class=\"scroll\"><table><thead><tr><th>Weapon</th>"
        "<th class=\"n\">Kills</th><th class=\"n\">Share</th><th class=\"n wide\">"
        "Players</th><th>Most kills</th></tr></thead><tbody>\n";
    for (const auto& [name, weapon] : byKills) {
        body += "<tr><td>" + HtmlText(name) + "</td><td class=\"n\">" + Digits(weapon.kills) +
                "</td><td class=\"n\">" + Digits(all ? (weapon.kills * 100 + all / 2) / all : 0) +
                "%</td><td class=\"n wide\">" + Digits(weapon.players) + "</td><td>" +
                (weapon.bestPlayer
                     ? PlayerLink(*weapon.bestPlayer, false) + " (" + Digits(weapon.best) + ")"
                     : "–") +
                "</td></tr>\n";
    }
    writer.Write("weapons.html", Page("Weapons", body + "</tbody></table></div>\n", false));

    struct Map {
        std::uint64_t matches = 0, seconds = 0, kills = 0;
        std::optional<std::int64_t> last;
    };
    std::map<std::string, Map> maps;
    for (const auto& [id, match] : matches) {
        Map& map = maps[MapName(match.map)];
        ++map.matches;
        map.seconds += match.seconds;
        map.kills += match.kills;
        if (match.started) map.last = std::max(map.last.value_or(*match.started), *match.started);
    }
    body =
        "<h1>Maps</h1>\n<div class=\"scroll\"><table><thead><tr><th>Map</th><th class=\"n\">"
        "Matches</th><th class=\"n\">Played</th><th class=\"n\">Kills</th><th class=\"wide\">"
        "Last played</th></tr></thead><tbody>\n";
    for (const auto& [name, map] : maps) {
        body += "<tr><td>" + HtmlText(name) + "</td><td class=\"n\">" + Digits(map.matches) +
                "</td><td class=\"n\">" + Duration(map.seconds) + "</td><td class=\"n\">" +
                Digits(map.kills) + "</td><td class=\"wide\">" + Date(map.last) + "</td></tr>\n";
    }
    writer.Write("maps.html", Page("Maps", body + "</tbody></table></div>\n", false));
}

void StatsSite::WriteFeed() {
    std::string json = "{\"server\": " + JsonString(options.serverName) + ",\n\"updated\": \"" +
                       updated + "\",\n\"ratings\": [";
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        json += std::string(p ? ",\n" : "\n") + "{\"plugin\": " + JsonString(plugins[p]) +
                ", \"title\": " + JsonString(Title(plugins[p])) +
                ", \"players\": " + Digits(boards[p].size()) + ", \"top\": [";
        for (std::size_t rank = 0; rank < boards[p].size() && rank < 100; ++rank) {
            const Player& player = *boards[p][rank];
            json +=
                std::string(rank ? ",\n  " : "\n  ") + "{\"rank\": " + Digits(rank + 1) +
                ", \"key\": " + Digits(player.key) + ", \"player\": " + JsonString(player.name) +
                ", \"rating\": " + JsonNumber(player.ratings[p]->skill) +
                ", \"weighted\": " + JsonNumber(player.ratings[p]->weightedSkill) +
                ", \"events\": " + Digits(player.events[p]) +
                ", \"kills\": " + Digits(player.kills) + ", \"deaths\": " + Digits(player.deaths) +
                ", \"matches\": " + Digits(player.matches) + "}";
        }
        json += "]}";
    }
    json += "],\n\"matches\": [";
    std::size_t count = 0;
    for (auto it = matches.rbegin(); it != matches.rend() && count < 100; ++it, ++count) {
        const Match& match = it->second;
        json += std::string(count ? ",\n" : "\n") + "{\"id\": " + Digits(match.id) +
                ", \"map\": " + JsonString(match.map) + ", \"started\": " + Iso(match.started) +
                ", \"seconds\": " + Digits(match.seconds) +
                ", \"players\": " + Digits(match.players) + ", \"kills\": " + Digits(match.kills) +
                "}";
    }
    writer.Write("feed.json", json + "]}\n");
}
