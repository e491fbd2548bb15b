#include "PostgresRatingStore.h"

#include "OutputText.h"
#include "StoreSchema.h"

#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <ctime>
#include <unordered_map>

using output_text::Digits;

namespace {

// Any number: the key of the advisory lock that lets one host at a time create the tables.
constexpr const char* kSchemaLockKey = "7301455112";

std::string Trimmed(const char* message) {
    std::string text(message == nullptr ? "" : message);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string Float(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char text[32];
    return std::string(text, std::to_chars(std::begin(text), std::end(text), value).ptr);
}

// Array literals for unnest(): every element is a number, or bytes in hex, so nothing in them
// needs more quoting than this.
template <typename Item, typename Format>
std::string ArrayOf(const std::vector<Item>& items, Format&& format) {
    std::string text = "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        text += format(items[i]);
    }
    return text + "}";
}

// bytea's hex input form, "\x...".
std::string Bytea(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "\\x";
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += kHex[byte >> 4];
        text += kHex[byte & 0xF];
    }
    return text;
}

// The same as an array element: quoted, its backslash escaped.
std::string ByteaElement(const std::string& bytes) {
    return "\"\\" + Bytea(bytes) + "\"";
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

class PostgresRatingStore::Result {
public:
    explicit Result(PGresult* result) : result(result) {}
    Result(Result&& other) noexcept : result(other.result) { other.result = nullptr; }
    ~Result() { PQclear(result); }

    int Rows() const { return PQntuples(result); }
    bool Null(int row, int column) const { return PQgetisnull(result, row, column) != 0; }
    const char* Text(int row, int column) const { return PQgetvalue(result, row, column); }
    std::int64_t Integer(int row, int column) const {
        std::int64_t value = 0;
        const char* text = Text(row, column);
        std::from_chars(text, text + PQgetlength(result, row, column), value);
        return value;
    }
    double Real(int row, int column) const {
        if (Null(row, column)) return std::nan("");
        double value = 0;
        const char* text = Text(row, column);
        std::from_chars(text, text + PQgetlength(result, row, column), value);
        return value;
    }
    // bytea in its hex output form, "\x..."
    std::string Bytes(int row, int column) const {
        const std::string_view text(Text(row, column),
                                    static_cast<std::size_t>(PQgetlength(result, row, column)));
        std::string bytes;
        for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
            bytes += static_cast<char>(HexValue(text[i]) * 16 + HexValue(text[i + 1]));
        }
        return bytes;
    }
    std::string Changed() const { return PQcmdTuples(result); }

private:
    PGresult* result;
};

PostgresRatingStore::PostgresRatingStore(const std::string& uri, StoreAccess access) {
    connection = PQconnectdb(uri.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string message = Trimmed(PQerrorMessage(connection));
        PQfinish(connection);
        throw StoreError("cannot connect to the PostgreSQL database: " + message);
    }
    // The server's notices ("already exists, skipping") are not the operator's business.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    try {
        // Doubles as their shortest exact text both ways; bytes in hex.
        Execute("SET extra_float_digits = 3");
        Execute("SET bytea_output = 'hex'");
        Execute("SET client_encoding = 'UTF8'");
        CheckIdentity(access == StoreAccess::ReadWrite);
    } catch (...) {
        PQfinish(connection);
        throw;
    }
}

PostgresRatingStore::~PostgresRatingStore() {
    PQfinish(connection);
}

PostgresRatingStore::Result PostgresRatingStore::Execute(
    const char* sql, const std::vector<std::string>& parameters) {
    std::vector<const char*> values;
    for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
    PGresult* raw = PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0);
    Result result(raw);
    const ExecStatusType status = PQresultStatus(raw);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    const char* state = PQresultErrorField(raw, PG_DIAG_SQLSTATE);
    const std::string code = state == nullptr ? "" : state;
    // 40001 serialization failure, 40P01 deadlock: the transaction may simply be run again.
    throw StoreError("PostgreSQL: " + Trimmed(PQerrorMessage(connection)),
                     code == "40001" || code == "40P01");
}

void PostgresRatingStore::CheckIdentity(bool mayCreate) {
    const auto look = [&] {
        Result tables = Execute(
            "SELECT to_regclass('skill_meta') IS NOT NULL, count(*) FROM pg_tables WHERE "
            "schemaname = current_schema() AND tablename IN ('skill_players', 'skill_ratings', "
            "'skill_logs', 'skill_history')");
        return std::pair(tables.Text(0, 0)[0] == 't', tables.Integer(0, 1));
    };
    auto [ours, others] = look();
    if (!ours && others == 0 && mayCreate) {
        Execute("BEGIN");
        try {
            Execute("SELECT pg_advisory_xact_lock($1::bigint)", {kSchemaLockKey});
            std::tie(ours, others) = look();
            if (!ours && others == 0) {
                for (const char* sql : store_schema::kPostgresTables) Execute(sql);
                Execute("INSERT INTO skill_meta (name, value) VALUES ('schema', $1)",
                        {store_schema::kVersion});
                ours = true;
            }
            Execute("COMMIT");
        } catch (...) {
            Rollback();
            throw;
        }
    }
    if (!ours && others > 0) {
        throw StoreError(
            "the PostgreSQL database holds tables named like skillhost's (skill_players...) "
            "that are not skillhost's; they are left as they are");
    }
    if (!ours) throw StoreError("the PostgreSQL database holds no ratings yet");
    Result schema = Execute("SELECT value FROM skill_meta WHERE name = 'schema'");
    const std::string version = schema.Rows() == 1 ? schema.Text(0, 0) : "";
    if (version != store_schema::kVersion) {
        throw StoreError("the PostgreSQL database holds skillhost data of another version (\"" +
                         version + "\"); it is left as it is");
    }
}

StoredLog PostgresRatingStore::OpenLog(const LogIdentity& log) {
    Result stored = Execute(
        "INSERT INTO skill_logs (machine, device, inode, fingerprint, path, byte_offset, lines, "
        "first_seen) VALUES ($1, $2, $3, $4, $5, 0, 0, $6) "
        "ON CONFLICT (machine, device, inode, fingerprint) DO UPDATE SET path = excluded.path "
        "RETURNING id, byte_offset, lines",
        {log.machine, Digits(static_cast<std::int64_t>(log.device)),
         Digits(static_cast<std::int64_t>(log.inode)),
         Digits(static_cast<std::int64_t>(log.fingerprint)), Bytea(log.path),
         Digits(static_cast<std::int64_t>(std::time(nullptr)))});
    return {stored.Integer(0, 0), static_cast<std::uint64_t>(stored.Integer(0, 1)),
            static_cast<std::uint64_t>(stored.Integer(0, 2))};
}

void PostgresRatingStore::Begin() {
    Execute("BEGIN");
}

void PostgresRatingStore::Commit() {
    // A failed statement already ended the transaction; COMMIT of such a one answers ROLLBACK.
    Result done = Execute("COMMIT");
    (void)done;
}

void PostgresRatingStore::Rollback() noexcept {
    PQclear(PQexec(connection, "ROLLBACK"));
}

void PostgresRatingStore::LockPlayers(const std::vector<PlayerRow>& players) {
    // Rows are locked in the order given, by key: two writers never wait on each other in a
    // circle.
    Execute(
        "INSERT INTO skill_players (key, alt_key, name) "
        "SELECT * FROM unnest($1::bigint[], $2::bigint[], $3::bytea[]) "
        "ON CONFLICT (key) DO UPDATE SET alt_key = excluded.alt_key, name = excluded.name",
        {ArrayOf(players, [](const PlayerRow& row) { return Digits(row.key); }),
         ArrayOf(players, [](const PlayerRow& row) { return Digits(row.altKey); }),
         ArrayOf(players, [](const PlayerRow& row) { return ByteaElement(row.name); })});
}

std::vector<std::optional<Rating>> PostgresRatingStore::LoadRatings(
    const std::string& plugin, const std::vector<std::uint32_t>& keys) {
    Result stored = Execute(
        "SELECT key, skill, weighted_skill FROM skill_ratings "
        "WHERE plugin = $1 AND key = ANY($2::bigint[])",
        {plugin, ArrayOf(keys, [](std::uint32_t key) { return Digits(key); })});
    std::unordered_map<std::uint32_t, Rating> byKey;
    for (int row = 0; row < stored.Rows(); ++row) {
        byKey[static_cast<std::uint32_t>(stored.Integer(row, 0))] = {stored.Real(row, 1),
                                                                     stored.Real(row, 2)};
    }
    std::vector<std::optional<Rating>> ratings;
    ratings.reserve(keys.size());
    for (std::uint32_t key : keys) {
        const auto it = byKey.find(key);
        ratings.push_back(it == byKey.end() ? std::nullopt : std::optional(it->second));
    }
    return ratings;
}

void PostgresRatingStore::SaveRatings(const std::string& plugin, std::int64_t logId,
                                      const std::vector<RatingRow>& rows) {
    const std::string keys = ArrayOf(rows, [](const RatingRow& row) { return Digits(row.key); });
    const std::string skills =
        ArrayOf(rows, [](const RatingRow& row) { return Float(row.rating.skill); });
    const std::string weighted =
        ArrayOf(rows, [](const RatingRow& row) { return Float(row.rating.weightedSkill); });
    const std::string events =
        ArrayOf(rows, [](const RatingRow& row) { return Digits(row.events); });
    Execute(
        "INSERT INTO skill_ratings (key, plugin, skill, weighted_skill, events) "
        "SELECT key, $1, skill, weighted_skill, events "
        "FROM unnest($2::bigint[], $3::float8[], $4::float8[], $5::bigint[]) "
        "AS t(key, skill, weighted_skill, events) "
        "ON CONFLICT (key, plugin) DO UPDATE SET skill = excluded.skill, "
        "weighted_skill = excluded.weighted_skill, events = skill_ratings.events + excluded.events",
        {plugin, keys, skills, weighted, events});
    Execute(
        "INSERT INTO skill_history (key, plugin, log_id, skill, weighted_skill, events) "
        "SELECT key, $1, $2, skill, weighted_skill, events "
        "FROM unnest($3::bigint[], $4::float8[], $5::float8[], $6::bigint[]) "
        "AS t(key, skill, weighted_skill, events) "
        "ON CONFLICT (key, plugin, log_id) DO UPDATE SET skill = excluded.skill, "
        "weighted_skill = excluded.weighted_skill, events = skill_history.events + excluded.events",
        {plugin, Digits(logId), keys, skills, weighted, events});
}

void PostgresRatingStore::AdvanceLog(std::int64_t logId, std::uint64_t from, std::uint64_t to,
                                     std::uint64_t lines) {
    Result advanced = Execute(
        "UPDATE skill_logs SET byte_offset = $2, lines = $3 WHERE id = $1 AND byte_offset = $4",
        {Digits(logId), Digits(to), Digits(lines), Digits(from)});
    if (advanced.Changed() != "1") throw StoreError(store_schema::StaleLogMessage(logId));
}

std::vector<std::string> PostgresRatingStore::Plugins() {
    Result plugins = Execute("SELECT DISTINCT plugin FROM skill_ratings ORDER BY plugin");
    std::vector<std::string> names;
    for (int row = 0; row < plugins.Rows(); ++row) names.emplace_back(plugins.Text(row, 0));
    return names;
}

std::vector<LeaderboardRow> PostgresRatingStore::Leaderboard(const std::string& plugin) {
    Result board = Execute(store_schema::kLeaderboardSql, {plugin});
    std::vector<LeaderboardRow> rows;
    for (int row = 0; row < board.Rows(); ++row) {
        rows.push_back({static_cast<std::uint32_t>(board.Integer(row, 0)),
                        board.Bytes(row, 1),
                        {board.Real(row, 2), board.Real(row, 3)},
                        static_cast<std::uint64_t>(board.Integer(row, 4)),
                        static_cast<std::uint64_t>(board.Integer(row, 5))});
    }
    return rows;
}

std::vector<HistoryPoint> PostgresRatingStore::History(const std::string& plugin) {
    Result history = Execute(store_schema::kHistorySql, {plugin});
    std::vector<HistoryPoint> points;
    for (int row = 0; row < history.Rows(); ++row) {
        points.push_back({static_cast<std::uint32_t>(history.Integer(row, 0)),
                          history.Integer(row, 1),
                          {history.Real(row, 2), history.Real(row, 3)}});
    }
    return points;
}
