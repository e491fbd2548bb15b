// Lasting ratings in a PostgreSQL database, shared by several hosts at once (one per game server):
// each batch locks its players' rows in key order before it reads their ratings, and holds them
// until it commits, so a rating is always read, changed and written by one writer at a time.
// Deadlocks and serialization failures roll the batch back; it is then run again.
#pragma once

#include "RatingStore.h"

#include <string>

struct pg_conn;
struct pg_result;

class PostgresRatingStore final : public RatingStore {
public:
    // Throws StoreError.
    PostgresRatingStore(const std::string& uri, StoreAccess access);
    ~PostgresRatingStore() override;

    StoredLog OpenLog(const LogIdentity& log) override;
    void Begin() override;
    void LockPlayers(const std::vector<PlayerRow>& players) override;
    std::vector<std::optional<Rating>> LoadRatings(const std::string& plugin,
                                                   const std::vector<std::uint32_t>& keys) override;
    void SaveRatings(const std::string& plugin, std::int64_t logId,
                     const std::vector<RatingRow>& rows) override;
    void AdvanceLog(std::int64_t logId, std::uint64_t from, std::uint64_t to,
                    std::uint64_t lines) override;
    void Commit() override;
    void Rollback() noexcept override;

    std::vector<std::string> Plugins() override;
    std::vector<LeaderboardRow> Leaderboard(const std::string& plugin) override;
    std::vector<HistoryPoint> History(const std::string& plugin) override;

private:
    class Result;

    Result Execute(const char* sql, const std::vector<std::string>& parameters = {});
    void CheckIdentity(bool mayCreate);

    pg_conn* connection = nullptr;
};
