// Lasting ratings in an SQLite file, in WAL mode, each commit synced to disk. The file is this
// program's only once it says so (its skill_meta table): any other file, SQLite or not, is
// refused before anything is written to it.
#pragma once

#include "RatingStore.h"

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class SqliteRatingStore final : public RatingStore {
public:
    // Throws StoreError naming the file.
    SqliteRatingStore(const std::string& path, StoreAccess access);
    ~SqliteRatingStore() override;

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
    void Reconnect() override {}
    Rows Select(const char* sql, const std::vector<Value>& parameters) override;

private:
    class Statement;

    void Open(const std::string& name, int flags);
    int CheckIdentity(bool mayCreate);
    void Upgrade(int from);
    void Execute(const char* sql);
    Statement& Prepared(int which, const char* sql);
    [[noreturn]] void Fail(const std::string& doing, int code) const;

    std::string path;
    sqlite3* db = nullptr;
    std::unique_ptr<Statement> statements[16];
    bool inTransaction = false;
};
