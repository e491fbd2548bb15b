#include "SqliteRatingStore.h"

#include "StoreSchema.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>

namespace {

// Another writer holding the database this long means something is stuck.
constexpr int kBusyTimeoutMs = 60000;

constexpr char kSqliteMagic[16] = "SQLite format 3";  // and its NUL

enum Statements {
    kUpsertPlayer,
    kLoadRating,
    kSaveRating,
    kSaveHistory,
    kAdvanceLog,
    kOpenLog,
    kPlugins,
    kLeaderboard,
    kHistory,
};

double Real(sqlite3_stmt* statement, int column) {
    // SQLite keeps a NaN as NULL.
    return sqlite3_column_type(statement, column) == SQLITE_NULL
               ? std::nan("")
               : sqlite3_column_double(statement, column);
}

std::string Blob(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return std::string(bytes == nullptr ? "" : bytes,
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

class SqliteRatingStore::Statement {
public:
    Statement(SqliteRatingStore& store, const char* sql) : store(store) {
        const int code =
            sqlite3_prepare_v3(store.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (code != SQLITE_OK) store.Fail("cannot prepare a statement", code);
    }
    ~Statement() { sqlite3_finalize(statement); }

    Statement& Bind(int index, std::int64_t value) {
        return Check(sqlite3_bind_int64(statement, index, value));
    }
    Statement& Bind(int index, double value) {
        return Check(sqlite3_bind_double(statement, index, value));
    }
    Statement& Bind(int index, const std::string& text) {
        return Check(sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT));
    }
    Statement& BindBlob(int index, const std::string& bytes) {
        return Check(sqlite3_bind_blob(statement, index, bytes.data(),
                                       static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
    }
    // True while there is a row.
    bool Step() {
        const int code = sqlite3_step(statement);
        if (code == SQLITE_ROW) return true;
        sqlite3_reset(statement);
        if (code != SQLITE_DONE) store.Fail("cannot read or write", code);
        return false;
    }
    void Run() {
        while (Step()) {
        }
    }
    void Done() { sqlite3_reset(statement); }
    sqlite3_stmt* operator*() const { return statement; }

private:
    Statement& Check(int code) {
        if (code != SQLITE_OK) store.Fail("cannot bind a value", code);
        return *this;
    }
    SqliteRatingStore& store;
    sqlite3_stmt* statement = nullptr;
};

void SqliteRatingStore::Fail(const std::string& doing, int code) const {
    const int primary = code & 0xFF;
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
        throw StoreError(path + " is damaged or not a database (" + sqlite3_errstr(code) +
                         "); it is left as it is");
    }
    const bool busy = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    const char* message =
        db != nullptr && sqlite3_errcode(db) == code ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw StoreError(path + ": " + doing + ": " + message, busy);
}

SqliteRatingStore::SqliteRatingStore(const std::string& path, StoreAccess access) : path(path) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        throw StoreError(path + " is not a file; it is left as it is");
    }
    if (!exists && access == StoreAccess::ReadOnly) {
        throw StoreError("no database " + path + ": " + std::strerror(errno));
    }
    // A file of another kind is refused on its first bytes, before SQLite is let near it.
    if (exists && info.st_size > 0) {
        char magic[sizeof kSqliteMagic] = {};
        std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
        if (std::memcmp(magic, kSqliteMagic, sizeof magic) != 0) {
            throw StoreError(path + " is not a skillhost database (not an SQLite file); it is " +
                             "left as it is");
        }
    }
    const int flags = access == StoreAccess::ReadOnly ? SQLITE_OPEN_READONLY
                                                      : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int code = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        db = nullptr;
        throw StoreError("cannot open " + path + ": " + message);
    }
    try {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        CheckIdentity(access == StoreAccess::ReadWrite);
        if (access == StoreAccess::ReadWrite) {
            // Only now, once the file is known to be ours: WAL rewrites its header.
            Execute("PRAGMA journal_mode = WAL");
            Execute("PRAGMA synchronous = FULL");
            CreateSchema();
        }
    } catch (...) {
        for (auto& statement : statements) statement.reset();
        sqlite3_close(db);
        throw;
    }
}

SqliteRatingStore::~SqliteRatingStore() {
    if (inTransaction) Rollback();
    for (auto& statement : statements) statement.reset();
    sqlite3_close(db);
}

void SqliteRatingStore::Execute(const char* sql) {
    char* error = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    sqlite3_free(error);
    if (code != SQLITE_OK) Fail(sql, code);
}

SqliteRatingStore::Statement& SqliteRatingStore::Prepared(int which, const char* sql) {
    if (!statements[which]) statements[which] = std::make_unique<Statement>(*this, sql);
    return *statements[which];
}

// Ours, empty, or refused: read only, so that a foreign file stays as it was.
void SqliteRatingStore::CheckIdentity(bool mayCreate) {
    Statement tables(*this, "SELECT count(*) FROM sqlite_master");
    tables.Step();
    const std::int64_t count = sqlite3_column_int64(*tables, 0);
    tables.Done();
    if (count == 0) {
        if (!mayCreate) throw StoreError(path + " holds no ratings yet");
        return;
    }
    Statement owner(*this,
                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = "
                    "'skill_meta'");
    owner.Step();
    const bool ours = sqlite3_column_int64(*owner, 0) == 1;
    owner.Done();
    if (!ours) {
        throw StoreError(path + " is an SQLite database of another program; it is left as it is");
    }
    Statement schema(*this, "SELECT value FROM skill_meta WHERE name = 'schema'");
    std::string version;
    if (schema.Step()) version = Blob(*schema, 0);
    schema.Done();
    if (version != store_schema::kVersion) {
        throw StoreError(path + " holds skillhost data of another version (\"" + version +
                         "\"); it is left as it is");
    }
}

void SqliteRatingStore::CreateSchema() {
    // Two hosts starting on a new file at once: the second finds the tables made.
    Execute("BEGIN IMMEDIATE");
    try {
        for (const char* sql : store_schema::kSqliteTables) Execute(sql);
        Statement meta(*this,
                       "INSERT INTO skill_meta (name, value) VALUES ('schema', ?1) "
                       "ON CONFLICT (name) DO NOTHING");
        meta.Bind(1, std::string(store_schema::kVersion)).Run();
        Execute("COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

StoredLog SqliteRatingStore::OpenLog(const LogIdentity& log) {
    Begin();
    try {
        Statement& open = Prepared(
            kOpenLog,
            "INSERT INTO skill_logs (machine, device, inode, fingerprint, path, byte_offset, "
            "lines, first_seen) VALUES (?1, ?2, ?3, ?4, ?5, 0, 0, ?6) "
            "ON CONFLICT (machine, device, inode, fingerprint) DO UPDATE SET path = excluded.path "
            "RETURNING id, byte_offset, lines");
        open.Bind(1, log.machine)
            .Bind(2, static_cast<std::int64_t>(log.device))
            .Bind(3, static_cast<std::int64_t>(log.inode))
            .Bind(4, static_cast<std::int64_t>(log.fingerprint))
            .BindBlob(5, log.path)
            .Bind(6, static_cast<std::int64_t>(std::time(nullptr)));
        StoredLog stored;
        if (open.Step()) {
            stored = {sqlite3_column_int64(*open, 0),
                      static_cast<std::uint64_t>(sqlite3_column_int64(*open, 1)),
                      static_cast<std::uint64_t>(sqlite3_column_int64(*open, 2))};
        }
        open.Run();
        Commit();
        return stored;
    } catch (...) {
        Rollback();
        throw;
    }
}

void SqliteRatingStore::Begin() {
    // IMMEDIATE takes the write lock now: a batch never reads ratings another writer is about
    // to change.
    Execute("BEGIN IMMEDIATE");
    inTransaction = true;
}

void SqliteRatingStore::Commit() {
    Execute("COMMIT");
    inTransaction = false;
}

void SqliteRatingStore::Rollback() noexcept {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    inTransaction = false;
}

void SqliteRatingStore::LockPlayers(const std::vector<PlayerRow>& players) {
    Statement& upsert = Prepared(kUpsertPlayer,
                                 "INSERT INTO skill_players (key, alt_key, name) VALUES (?1, ?2, "
                                 "?3) ON CONFLICT (key) DO UPDATE SET alt_key = excluded.alt_key, "
                                 "name = excluded.name");
    for (const PlayerRow& player : players) {
        upsert.Bind(1, std::int64_t{player.key})
            .Bind(2, std::int64_t{player.altKey})
            .BindBlob(3, player.name)
            .Run();
    }
}

std::vector<std::optional<Rating>> SqliteRatingStore::LoadRatings(
    const std::string& plugin, const std::vector<std::uint32_t>& keys) {
    Statement& load =
        Prepared(kLoadRating,
                 "SELECT skill, weighted_skill FROM skill_ratings WHERE key = ?1 AND plugin = ?2");
    std::vector<std::optional<Rating>> ratings;
    ratings.reserve(keys.size());
    load.Bind(2, plugin);
    for (std::uint32_t key : keys) {
        load.Bind(1, std::int64_t{key});
        if (load.Step()) {
            ratings.push_back(Rating{Real(*load, 0), Real(*load, 1)});
            load.Done();
        } else {
            ratings.emplace_back();
        }
    }
    return ratings;
}

void SqliteRatingStore::SaveRatings(const std::string& plugin, std::int64_t logId,
                                    const std::vector<RatingRow>& rows) {
    Statement& rating =
        Prepared(kSaveRating,
                 "INSERT INTO skill_ratings (key, plugin, skill, weighted_skill, events) "
                 "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key, plugin) DO UPDATE SET "
                 "skill = excluded.skill, weighted_skill = excluded.weighted_skill, "
                 "events = events + excluded.events");
    Statement& history =
        Prepared(kSaveHistory,
                 "INSERT INTO skill_history (key, plugin, log_id, skill, weighted_skill, events) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (key, plugin, log_id) DO UPDATE SET "
                 "skill = excluded.skill, weighted_skill = excluded.weighted_skill, "
                 "events = events + excluded.events");
    rating.Bind(2, plugin);
    history.Bind(2, plugin).Bind(3, logId);
    for (const RatingRow& row : rows) {
        const auto events = static_cast<std::int64_t>(row.events);
        rating.Bind(1, std::int64_t{row.key})
            .Bind(3, row.rating.skill)
            .Bind(4, row.rating.weightedSkill)
            .Bind(5, events)
            .Run();
        history.Bind(1, std::int64_t{row.key})
            .Bind(4, row.rating.skill)
            .Bind(5, row.rating.weightedSkill)
            .Bind(6, events)
            .Run();
    }
}

void SqliteRatingStore::AdvanceLog(std::int64_t logId, std::uint64_t from, std::uint64_t to,
                                   std::uint64_t lines) {
    Statement& advance = Prepared(kAdvanceLog,
                                  "UPDATE skill_logs SET byte_offset = ?2, lines = ?3 "
                                  "WHERE id = ?1 AND byte_offset = ?4");
    advance.Bind(1, logId)
        .Bind(2, static_cast<std::int64_t>(to))
        .Bind(3, static_cast<std::int64_t>(lines))
        .Bind(4, static_cast<std::int64_t>(from))
        .Run();
    if (sqlite3_changes(db) != 1) throw StoreError(store_schema::StaleLogMessage(logId));
}

std::vector<std::string> SqliteRatingStore::Plugins() {
    Statement& plugins =
        Prepared(kPlugins, "SELECT DISTINCT plugin FROM skill_ratings ORDER BY plugin");
    std::vector<std::string> names;
    while (plugins.Step()) names.push_back(Blob(*plugins, 0));
    return names;
}

std::vector<LeaderboardRow> SqliteRatingStore::Leaderboard(const std::string& plugin) {
    Statement& board = Prepared(kLeaderboard, store_schema::kLeaderboardSql);
    board.Bind(1, plugin);
    std::vector<LeaderboardRow> rows;
    while (board.Step()) {
        rows.push_back({static_cast<std::uint32_t>(sqlite3_column_int64(*board, 0)),
                        Blob(*board, 1),
                        {Real(*board, 2), Real(*board, 3)},
                        static_cast<std::uint64_t>(sqlite3_column_int64(*board, 4)),
                        static_cast<std::uint64_t>(sqlite3_column_int64(*board, 5))});
    }
    return rows;
}

std::vector<HistoryPoint> SqliteRatingStore::History(const std::string& plugin) {
    Statement& history = Prepared(kHistory, store_schema::kHistorySql);
    history.Bind(1, plugin);
    std::vector<HistoryPoint> points;
    while (history.Step()) {
        points.push_back({static_cast<std::uint32_t>(sqlite3_column_int64(*history, 0)),
                          sqlite3_column_int64(*history, 1),
                          {Real(*history, 2), Real(*history, 3)}});
    }
    return points;
}
