#include "SqliteRatingStore.h"

#include "StoreSchema.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

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
    kMoveFacts,
    kMovePlugin,
    kLockLog,
    kPosition,
    kSaveFacts,
    kSaveWeapon,
    kLogSeconds,
};

std::string Blob(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return std::string(bytes == nullptr ? "" : bytes,
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

Value Cell(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            return std::int64_t{sqlite3_column_int64(statement, column)};
        case SQLITE_FLOAT:
            return sqlite3_column_double(statement, column);
        case SQLITE_TEXT:
        case SQLITE_BLOB:
            return Blob(statement, column);
        default:
            return {};
    }
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
    Statement& Bind(int index, const std::optional<std::int64_t>& value) {
        return value ? Bind(index, *value) : Check(sqlite3_bind_null(statement, index));
    }
    Statement& Bind(int index, const Value& value) {
        if (const auto* number = std::get_if<std::int64_t>(&value)) return Bind(index, *number);
        if (const auto* real = std::get_if<double>(&value)) return Bind(index, *real);
        if (const auto* text = std::get_if<std::string>(&value)) return Bind(index, *text);
        return Check(sqlite3_bind_null(statement, index));
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
    // SQLITE_PROTOCOL: a lock another process held while the machine was too busy to let it go.
    const bool busy =
        primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_PROTOCOL;
    const char* message =
        db != nullptr && sqlite3_errcode(db) == code ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw StoreError(path + ": " + doing + ": " + message,
                     busy ? StoreError::Kind::Retry : StoreError::Kind::Fatal);
}

void SqliteRatingStore::Open(const std::string& name, int flags) {
    const int code = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        db = nullptr;
        throw StoreError("cannot open " + path + ": " + message);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
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
    const bool readOnly = access == StoreAccess::ReadOnly;
    Open(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    try {
        int version = 0;
        try {
            version = CheckIdentity(!readOnly);
        } catch (const StoreError&) {
            // A reader that may not make the WAL's shared-memory file beside the database
            // (a folder it may only read) reads it as it lies, when no writer has it open.
            if (!readOnly || ::access((path + "-wal").c_str(), F_OK) == 0) throw;
            sqlite3_close(db);
            db = nullptr;
            Open("file:" + path + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
            version = CheckIdentity(false);
        }
        if (readOnly && version != store_schema::kVersion) {
            throw StoreError(path + " holds skillhost data of version " + std::to_string(version) +
                             "; a rating run with --db upgrades it");
        }
        if (!readOnly) {
            // Only now, once the file is known to be ours: WAL rewrites its header.
            Execute("PRAGMA journal_mode = WAL");
            Execute("PRAGMA synchronous = FULL");
            Upgrade(version);
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

// Ours (its version), empty (0), or refused: read only, so that a foreign file stays as it was.
int SqliteRatingStore::CheckIdentity(bool mayCreate) {
    Statement tables(*this, "SELECT count(*) FROM sqlite_master");
    tables.Step();
    const std::int64_t count = sqlite3_column_int64(*tables, 0);
    tables.Done();
    if (count == 0) {
        if (!mayCreate) throw StoreError(path + " holds no ratings yet");
        return 0;
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
    std::string text;
    if (schema.Step()) text = Blob(*schema, 0);
    schema.Done();
    const auto version = store_schema::ParseVersion(text);
    if (!version || *version < 1 || *version > store_schema::kVersion) {
        throw StoreError(path + " holds skillhost data of another version (\"" + text +
                         "\"); it is left as it is");
    }
    return *version;
}

void SqliteRatingStore::Upgrade(int from) {
    if (from == store_schema::kVersion) return;
    // Two hosts starting at once: the second finds the work done.
    Execute("BEGIN IMMEDIATE");
    try {
        from = 0;
        if (!Select("SELECT 1 FROM sqlite_master WHERE name = 'skill_meta'", {}).empty()) {
            const Rows stored = Select("SELECT value FROM skill_meta WHERE name = 'schema'", {});
            if (!stored.empty()) {
                from = store_schema::ParseVersion(std::get<std::string>(stored[0][0])).value_or(0);
            }
        }
        for (int step = from; step < store_schema::kVersion; ++step) {
            for (const char* sql : store_schema::kSqlite.steps[static_cast<std::size_t>(step)])
                Execute(sql);
        }
        Statement meta(*this,
                       "INSERT INTO skill_meta (name, value) VALUES ('schema', ?1) "
                       "ON CONFLICT (name) DO UPDATE SET value = excluded.value");
        meta.Bind(1, store_schema::VersionText(store_schema::kVersion)).Run();
        Execute("COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::int64_t SqliteRatingStore::OpenLog(const LogIdentity& log) {
    Begin();
    try {
        std::string in = "(";
        std::vector<Value> identities;
        for (const std::string& identity : log.identities) {
            identities.emplace_back(identity);
            in += (in.size() > 1 ? ",$" : "$") + std::to_string(identities.size());
        }
        const Rows found = Select((store_schema::kFindLogSql + in + ")").c_str(), identities);
        std::optional<std::int64_t> id;
        std::size_t best = log.identities.size();
        for (const auto& row : found) {
            const auto& identity = std::get<std::string>(row[1]);
            for (std::size_t i = 0; i < best; ++i) {
                if (log.identities[i] == identity) {
                    best = i;
                    id = std::get<std::int64_t>(row[0]);
                }
            }
        }
        if (!id) {
            const Rows legacy = Select(store_schema::kLegacyLogSql,
                                       {static_cast<std::int64_t>(log.firstLineHash), log.machine,
                                        static_cast<std::int64_t>(log.device),
                                        static_cast<std::int64_t>(log.inode), log.path});
            if (!legacy.empty()) {
                id = std::get<std::int64_t>(legacy[0][0]);
                best = log.identities.size();
            }
        }
        if (!id) {
            Statement add(*this,
                          "INSERT INTO skill_logs (machine, device, inode, fingerprint, path, "
                          "byte_offset, lines, first_seen, identity, map, started) "
                          "VALUES ('', 0, 0, ?1, ?2, 0, 0, ?3, ?4, ?5, ?6) RETURNING id");
            add.Bind(1, static_cast<std::int64_t>(std::hash<std::string>()(log.identities[0])))
                .BindBlob(2, log.path)
                .Bind(3, static_cast<std::int64_t>(std::time(nullptr)))
                .Bind(4, log.identities[0])
                .BindBlob(5, log.map)
                .Bind(6, log.started);
            add.Step();
            id = sqlite3_column_int64(*add, 0);
            add.Run();
        } else {
            // Known by a shorter head, or from before the upgrade: known by the best one now.
            Statement update(*this,
                             "UPDATE skill_logs SET path = ?2, identity = CASE WHEN ?3 THEN ?4 "
                             "ELSE identity END, map = coalesce(map, ?5), "
                             "started = coalesce(started, ?6) WHERE id = ?1");
            update.Bind(1, *id)
                .BindBlob(2, log.path)
                .Bind(3, std::int64_t{best != 0})
                .Bind(4, log.identities[0])
                .BindBlob(5, log.map)
                .Bind(6, log.started)
                .Run();
        }
        Commit();
        return *id;
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

Positions SqliteRatingStore::LockLog(std::int64_t logId, const std::vector<std::string>& plugins) {
    // The write lock of BEGIN IMMEDIATE holds the log already.
    Statement& log = Prepared(kLockLog, "SELECT byte_offset, lines FROM skill_logs WHERE id = ?1");
    Positions positions;
    if (!log.Bind(1, logId).Step())
        throw StoreError(path + ": log " + std::to_string(logId) + " is gone");
    positions.facts = {static_cast<std::uint64_t>(sqlite3_column_int64(*log, 0)),
                       static_cast<std::uint64_t>(sqlite3_column_int64(*log, 1))};
    log.Done();
    Statement& position = Prepared(
        kPosition,
        "SELECT byte_offset, lines FROM skill_positions WHERE log_id = ?1 AND plugin = ?2");
    position.Bind(1, logId);
    for (const std::string& plugin : plugins) {
        Position at;
        if (position.Bind(2, plugin).Step()) {
            at = {static_cast<std::uint64_t>(sqlite3_column_int64(*position, 0)),
                  static_cast<std::uint64_t>(sqlite3_column_int64(*position, 1))};
            position.Done();
        }
        positions.plugins.push_back(at);
    }
    return positions;
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
    const auto real = [&](int column) {
        // SQLite keeps a NaN as NULL.
        return sqlite3_column_type(*load, column) == SQLITE_NULL
                   ? std::nan("")
                   : sqlite3_column_double(*load, column);
    };
    for (std::uint32_t key : keys) {
        load.Bind(1, std::int64_t{key});
        if (load.Step()) {
            ratings.push_back(Rating{real(0), real(1)});
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

void SqliteRatingStore::SaveFacts(std::int64_t logId, const std::vector<FactRow>& facts,
                                  const std::vector<WeaponKillRow>& weapons,
                                  std::uint64_t seconds) {
    Statement& fact = Prepared(
        kSaveFacts,
        "INSERT INTO skill_facts (key, log_id, kills, deaths, team_kills, seconds, first_seen, "
        "last_seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT (key, log_id) DO UPDATE "
        "SET kills = kills + excluded.kills, deaths = deaths + excluded.deaths, "
        "team_kills = team_kills + excluded.team_kills, seconds = seconds + excluded.seconds, "
        "first_seen = coalesce(min(first_seen, excluded.first_seen), first_seen, "
        "excluded.first_seen), last_seen = coalesce(max(last_seen, excluded.last_seen), "
        "last_seen, excluded.last_seen)");
    fact.Bind(2, logId);
    for (const FactRow& row : facts) {
        fact.Bind(1, std::int64_t{row.key})
            .Bind(3, static_cast<std::int64_t>(row.kills))
            .Bind(4, static_cast<std::int64_t>(row.deaths))
            .Bind(5, static_cast<std::int64_t>(row.teamKills))
            .Bind(6, static_cast<std::int64_t>(row.seconds))
            .Bind(7, row.firstSeen)
            .Bind(8, row.lastSeen)
            .Run();
    }
    Statement& weapon =
        Prepared(kSaveWeapon,
                 "INSERT INTO skill_weapon_kills (key, log_id, weapon, kills) VALUES (?1, ?2, ?3, "
                 "?4) ON CONFLICT (key, log_id, weapon) DO UPDATE SET kills = kills + "
                 "excluded.kills");
    weapon.Bind(2, logId);
    for (const WeaponKillRow& row : weapons) {
        weapon.Bind(1, std::int64_t{row.key})
            .BindBlob(3, row.weapon)
            .Bind(4, static_cast<std::int64_t>(row.kills))
            .Run();
    }
    Prepared(kLogSeconds, "UPDATE skill_logs SET seconds = max(seconds, ?2) WHERE id = ?1")
        .Bind(1, logId)
        .Bind(2, static_cast<std::int64_t>(seconds))
        .Run();
}

void SqliteRatingStore::MovePosition(std::int64_t logId, const std::string& plugin,
                                     const Position& to) {
    if (plugin.empty()) {
        Prepared(kMoveFacts, "UPDATE skill_logs SET byte_offset = ?2, lines = ?3 WHERE id = ?1")
            .Bind(1, logId)
            .Bind(2, static_cast<std::int64_t>(to.offset))
            .Bind(3, static_cast<std::int64_t>(to.lines))
            .Run();
        return;
    }
    Prepared(kMovePlugin,
             "INSERT INTO skill_positions (log_id, plugin, byte_offset, lines) VALUES (?1, ?2, ?3, "
             "?4) ON CONFLICT (log_id, plugin) DO UPDATE SET byte_offset = excluded.byte_offset, "
             "lines = excluded.lines")
        .Bind(1, logId)
        .Bind(2, plugin)
        .Bind(3, static_cast<std::int64_t>(to.offset))
        .Bind(4, static_cast<std::int64_t>(to.lines))
        .Run();
}

Rows SqliteRatingStore::Select(const char* sql, const std::vector<Value>& parameters) {
    Statement statement(*this, sql);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        statement.Bind(static_cast<int>(i + 1), parameters[i]);
    }
    Rows rows;
    const int columns = sqlite3_column_count(*statement);
    while (statement.Step()) {
        auto& row = rows.emplace_back();
        row.reserve(static_cast<std::size_t>(columns));
        for (int column = 0; column < columns; ++column) row.push_back(Cell(*statement, column));
    }
    return rows;
}
