// Where lasting ratings live: one small interface, an SQLite file or a PostgreSQL database behind
// it, the same tables in both (StoreSchema.h has them, and how an older database is upgraded).
//
//   skill_meta          name, value: which program and schema version the tables belong to
//   skill_players       key, alt_key, name: every player met, by KEY, latest ALT_KEY and NAME
//   skill_ratings       key, plugin, skill, weighted_skill, events: a player's ratings by a plug-in
//   skill_logs          id, identity, path, map, started, seconds, byte_offset, lines: each log
//                       (each match) met, known by its content; the offset is how far its facts
//                       are counted
//   skill_positions     log_id, plugin, byte_offset, lines: how far each plug-in rated each log
//   skill_history       key, plugin, log_id, skill, weighted_skill, events: a player's ratings at
//                       the end of their part in one match
//   skill_facts         key, log_id, kills, deaths, team_kills, seconds, first_seen, last_seen
//   skill_weapon_kills  key, log_id, weapon, kills
//
// A batch of lines is rated inside one transaction: lock the log and read where each plug-in and
// the facts stand, lock the players it names, read their ratings, rate the lines each one has not
// seen, write ratings, history, facts and the new positions, commit. A crash anywhere leaves the
// ratings and the positions that produced them together; a line is never counted twice, whoever
// rates it, whatever name or copy of the log it is read from.
#pragma once

#include "HostError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A failure of the store. A retryable one (a deadlock, a serialization failure, a busy database)
// is cured by running the whole transaction again; a lost connection by connecting again first.
class StoreError : public HostError {
public:
    enum class Kind { Fatal, Retry, Lost };
    StoreError(const std::string& what, Kind kind = Kind::Fatal) : HostError(what), kind(kind) {}
    const Kind kind;
};

// How a log is found again: by its content, wherever it lies.
struct LogIdentity {
    // Best first: the match id of the first line, or hashes of the log's first lines, the longest
    // first (a log met while it had fewer lines is the same log grown).
    std::vector<std::string> identities;
    std::string path;                     // where it was last met; for people, not for matching
    std::string map;                      // bytes; empty when the log does not say
    std::optional<std::int64_t> started;  // Unix seconds
    // How schema 1 knew it: a log rated before the upgrade is claimed by these.
    std::string machine;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t firstLineHash = 0;
};

struct Position {
    std::uint64_t offset = 0;  // bytes already counted
    std::uint64_t lines = 0;   // lines in those bytes
    bool operator==(const Position&) const = default;
};

// Where the facts and each plug-in stand in one log.
struct Positions {
    Position facts;
    std::vector<Position> plugins;  // in the order the plug-ins were given
};

struct PlayerRow {
    std::uint32_t key;
    std::uint32_t altKey;
    std::string name;
};

struct Rating {
    double skill;
    double weightedSkill;
};

struct RatingRow {
    std::uint32_t key;
    Rating rating;
    std::uint64_t events;  // events naming the player in this batch
};

struct FactRow {
    std::uint32_t key;
    std::uint64_t kills = 0, deaths = 0, teamKills = 0, seconds = 0;
    std::optional<std::int64_t> firstSeen, lastSeen;  // Unix seconds
};

struct WeaponKillRow {
    std::uint32_t key;
    std::string weapon;
    std::uint64_t kills;
};

// A cell of a read: every store answers the same types for the same query.
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;
using Rows = std::vector<std::vector<Value>>;

class RatingStore {
public:
    virtual ~RatingStore() = default;

    // Finds the log, or adds it with nothing counted; answers its id.
    virtual std::int64_t OpenLog(const LogIdentity& log) = 0;

    // One batch's transaction.
    virtual void Begin() = 0;
    // Holds the log until the end of the transaction and answers where each stands.
    virtual Positions LockLog(std::int64_t logId, const std::vector<std::string>& plugins) = 0;
    // Adds or updates the players (sorted by key) and holds them until the end of the
    // transaction, so that no other writer changes their ratings in between.
    virtual void LockPlayers(const std::vector<PlayerRow>& players) = 0;
    // The stored ratings of `keys` by the plug-in, in the same order; none for a player the
    // plug-in has not rated yet.
    virtual std::vector<std::optional<Rating>> LoadRatings(
        const std::string& plugin, const std::vector<std::uint32_t>& keys) = 0;
    // The ratings, and the history rows of match `logId`.
    virtual void SaveRatings(const std::string& plugin, std::int64_t logId,
                             const std::vector<RatingRow>& rows) = 0;
    // Adds to the facts of match `logId`; `seconds` is the match clock now.
    virtual void SaveFacts(std::int64_t logId, const std::vector<FactRow>& facts,
                           const std::vector<WeaponKillRow>& weapons, std::uint64_t seconds) = 0;
    // `plugin` empty: the facts' position.
    virtual void MovePosition(std::int64_t logId, const std::string& plugin,
                              const Position& to) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() noexcept = 0;

    // After a Lost error: connects again. Throws StoreError (Lost while the server is away).
    virtual void Reconnect() = 0;

    // A query of StoreQueries.h, `$1`, `$2`... in the order they first appear.
    virtual Rows Select(const char* sql, const std::vector<Value>& parameters = {}) = 0;
};

enum class StoreAccess { ReadWrite, ReadOnly };

// "postgresql://..." or "postgres://..." opens a PostgreSQL database, anything else an SQLite
// file (created when missing, unless read-only). Throws StoreError, naming the file, for a file
// that is not this program's database; such a file is never written to. Read-only, nothing is
// written, not even an upgrade of an older database.
std::unique_ptr<RatingStore> OpenRatingStore(const std::string& where, StoreAccess access);
