// Lasting ratings in a PostgreSQL database, shared by several hosts at once (one per game server):
// each batch locks its log's row and its players' rows in key order before it reads positions and
// ratings, and holds them until it commits, so a rating is always read, changed and written by
// one writer at a time. Deadlocks and serialization failures roll the batch back; it is then run
// again. A lost connection is reported as such, so that the caller can connect again and re-run.
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

    std::int64_t OpenLog(const LogIdentity& log) override;
    void Begin() override;
    Positions LockLog(std::int64_t logId, const std::vector<std::string>& plugins) override;
    void LockPlayers(const std::vector<PlayerRow>& players) override;
    std::vector<std::optional<Rating>> LoadRatings(const std::string& plugin,
                                                   const std::vector<std::uint32_t>& keys) override;
    void SaveRatings(const std::string& plugin, std::int64_t logId,
                     const std::vector<RatingRow>& rows) override;
    void SaveFacts(std::int64_t logId, const std::vector<FactRow>& facts,
                   const std::vector<WeaponKillRow>& weapons, std::uint64_t seconds) override;
    void MovePosition(std::int64_t logId, const std::string& plugin, const Position& to) override;
    void Commit() override;
    void Rollback() noexcept override;
    void Reconnect() override;
    Rows Select(const char* sql, const std::vector<Value>& parameters) override;

private:
    class Result;

    Result Execute(const char* sql, const std::vector<std::string>& parameters = {});
    void Prepare();
    int CheckIdentity(bool mayCreate);
    void Upgrade();

    pg_conn* connection = nullptr;
    bool readOnly;
};
