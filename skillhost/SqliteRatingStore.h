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
    class Statement;

    void CheckIdentity(bool mayCreate);
    void CreateSchema();
    void Execute(const char* sql);
    Statement& Prepared(int which, const char* sql);
    [[noreturn]] void Fail(const std::string& doing, int code) const;

    std::string path;
    sqlite3* db = nullptr;
    std::unique_ptr<Statement> statements[12];
    bool inTransaction = false;
};
