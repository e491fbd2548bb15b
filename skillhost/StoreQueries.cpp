#include "StoreQueries.h"

#include <cmath>

namespace store_queries {

std::int64_t Integer(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
    return 0;
}

double Real(const Value& value) {
    if (const auto* real = std::get_if<double>(&value)) return *real;
    if (const auto* number = std::get_if<std::int64_t>(&value)) return static_cast<double>(*number);
    return std::nan("");  // SQLite keeps a NaN as NULL
}

std::string Text(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return {};
}

std::optional<std::int64_t> OptionalInteger(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
    return std::nullopt;
}

std::vector<std::string> Plugins(RatingStore& store) {
    std::vector<std::string> names;
    for (const auto& row :
         store.Select("SELECT DISTINCT plugin FROM skill_ratings ORDER BY plugin")) {
        names.push_back(Text(row[0]));
    }
    return names;
}

std::vector<LeaderboardRow> Leaderboard(RatingStore& store, const std::string& plugin) {
    std::vector<LeaderboardRow> rows;
    for (const auto& row : store.Select(
             "SELECT r.key, p.name, r.skill, r.weighted_skill, r.events, "
             "(SELECT count(*) FROM skill_history h WHERE h.key = r.key AND h.plugin = r.plugin) "
             "FROM skill_ratings r JOIN skill_players p ON p.key = r.key "
             "WHERE r.plugin = $1 ORDER BY r.skill DESC NULLS LAST, r.key",
             {plugin})) {
        rows.push_back({static_cast<std::uint32_t>(Integer(row[0])),
                        Text(row[1]),
                        {Real(row[2]), Real(row[3])},
                        static_cast<std::uint64_t>(Integer(row[4])),
                        static_cast<std::uint64_t>(Integer(row[5]))});
    }
    return rows;
}

std::vector<HistoryPoint> History(RatingStore& store, const std::string& plugin) {
    std::vector<HistoryPoint> points;
    for (const auto& row :
         store.Select("SELECT key, log_id, skill, weighted_skill FROM skill_history "
                      "WHERE plugin = $1 ORDER BY key, log_id",
                      {plugin})) {
        points.push_back({static_cast<std::uint32_t>(Integer(row[0])),
                          Integer(row[1]),
                          {Real(row[2]), Real(row[3])}});
    }
    return points;
}

}  // namespace store_queries
