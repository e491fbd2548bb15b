// What reports and the site read from a store, written once for both databases.
#pragma once

#include "RatingStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LeaderboardRow {
    std::uint32_t key;
    std::string name;
    Rating rating;
    std::uint64_t events;
    std::uint64_t matches;
};

struct HistoryPoint {
    std::uint32_t key;
    std::int64_t logId;
    Rating rating;
};

namespace store_queries {

// Value readers: a missing or mistyped cell reads as zero, an empty text or NaN.
std::int64_t Integer(const Value& value);
double Real(const Value& value);
std::string Text(const Value& value);
std::optional<std::int64_t> OptionalInteger(const Value& value);

// The plug-ins with ratings, in name order.
std::vector<std::string> Plugins(RatingStore& store);
// Best first, equal ratings by key.
std::vector<LeaderboardRow> Leaderboard(RatingStore& store, const std::string& plugin);
// By player, then match.
std::vector<HistoryPoint> History(RatingStore& store, const std::string& plugin);

}  // namespace store_queries
