// Where lasting ratings live: one small interface, an SQLite file or a PostgreSQL database behind
// it, the same tables in both.
//
//   skill_meta     name, value: which program and schema version the tables belong to
//   skill_players  key, alt_key, name: every player met, by KEY, with the latest ALT_KEY and NAME
//   skill_ratings  key, plugin, skill, weighted_skill, events: a player's ratings by a plug-in
//   skill_logs     id, machine, device, inode, fingerprint, path, byte_offset, lines, first_seen:
//                  each log met, known by where it lives and a fingerprint of its first line,
//                  with how far it has been rated
//   skill_history  key, plugin, log_id, skill, weighted_skill, events: a player's ratings at the
//                  end of their part in one match (one log)
//
// A batch of lines is rated inside one transaction: lock the players it names, read their ratings,
// rate, write the ratings, the history and the log's new offset, commit. A crash anywhere leaves
// the ratings and the offset that produced them together.
#pragma once

#include "HostError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A failure of the store. A retryable one (a deadlock, a serialization failure, a busy database)
// is cured by running the whole transaction again.
class StoreError : public HostError {
public:
    StoreError(const std::string& what, bool retryable = false)
        : HostError(what), retryable(retryable) {}
    const bool retryable;
};

struct LogIdentity {
    std::string machine;  // /etc/machine-id, or the host name
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t fingerprint = 0;  // of the first line
    std::string path;               // where it was last met; for people, not for matching
};

struct StoredLog {
    std::int64_t id = 0;
    std::uint64_t offset = 0;  // bytes already rated
    std::uint64_t lines = 0;   // lines in those bytes
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

class RatingStore {
public:
    virtual ~RatingStore() = default;

    // Finds the log, or adds it with nothing rated.
    virtual StoredLog OpenLog(const LogIdentity& log) = 0;

    // One batch's transaction.
    virtual void Begin() = 0;
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
    // Moves the log's offset from `from` to `to`. Throws StoreError when the stored offset is not
    // `from`: someone else rates the same log.
    virtual void AdvanceLog(std::int64_t logId, std::uint64_t from, std::uint64_t to,
                            std::uint64_t lines) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() noexcept = 0;

    // For the report: the plug-ins with ratings, and each one's leaderboard (best first, equal
    // ratings by key) and history (by player, then match).
    virtual std::vector<std::string> Plugins() = 0;
    virtual std::vector<LeaderboardRow> Leaderboard(const std::string& plugin) = 0;
    virtual std::vector<HistoryPoint> History(const std::string& plugin) = 0;
};

enum class StoreAccess { ReadWrite, ReadOnly };

// "postgresql://..." or "postgres://..." opens a PostgreSQL database, anything else an SQLite
// file (created when missing, unless read-only). Throws StoreError, naming the file, for a file
// that is not this program's database; such a file is never written to.
std::unique_ptr<RatingStore> OpenRatingStore(const std::string& where, StoreAccess access);
