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

// Any number: the key of the advisory lock that lets one host at a time make or upgrade tables.
constexpr const char* kSchemaLockKey = "7301455112";

// Type ids of pg_type that Select reads as numbers or bytes.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

// libpq's messages run over several lines ("server closed the connection unexpectedly\n\tThis
// probably means..."): one line, blanks collapsed.
std::string OneLine(const char* message) {
    std::string text;
    for (const char* c = message == nullptr ? "" : message; *c != '\0'; ++c) {
        const bool blank = *c == ' ' || *c == '\n' || *c == '\t' || *c == '\r';
        if (!blank) {
            text += *c;
        } else if (!text.empty() && text.back() != ' ') {
            text += ' ';
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
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

// A parameter that goes as SQL NULL: no text parameter can hold a zero byte.
const std::string kNull("\0null", 5);

std::string OptionalDigits(const std::optional<std::int64_t>& value) {
    return value ? Digits(*value) : kNull;
}

// A parameter of Select in text form; bytes travel as text too (every caller's are UTF-8 names).
std::string Text(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return Digits(*number);
    if (const auto* real = std::get_if<double>(&value)) return Float(*real);
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return {};
}

}  // namespace

class PostgresRatingStore::Result {
public:
    explicit Result(PGresult* result) : result(result) {}
    Result(Result&& other) noexcept : result(other.result) { other.result = nullptr; }
    ~Result() { PQclear(result); }

    int Rows() const { return PQntuples(result); }
    int Columns() const { return PQnfields(result); }
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
    Value Cell(int row, int column) const {
        if (Null(row, column)) return {};
        switch (PQftype(result, column)) {
            case kBool:
                return std::int64_t{Text(row, column)[0] == 't'};
            case kInt2:
            case kInt4:
            case kInt8:
                return Integer(row, column);
            case kFloat4:
            case kFloat8:
                return Real(row, column);
            case kNumeric: {
                const std::string text = Text(row, column);
                if (text.find_first_of(".eE") == std::string::npos) return Integer(row, column);
                return Real(row, column);
            }
            case kBytea:
                return Bytes(row, column);
            default:
                return std::string(Text(row, column),
                                   static_cast<std::size_t>(PQgetlength(result, row, column)));
        }
    }
    std::string Status() const { return PQcmdStatus(result); }

private:
    PGresult* result;
};

PostgresRatingStore::PostgresRatingStore(const std::string& uri, StoreAccess access)
    : readOnly(access == StoreAccess::ReadOnly) {
    connection = PQconnectdb(uri.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string message = OneLine(PQerrorMessage(connection));
        PQfinish(connection);
        throw StoreError("cannot connect to the PostgreSQL database: " + message);
    }
    // The server's notices ("already exists, skipping") are not the operator's business.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    try {
        Prepare();
        const int version = CheckIdentity(!readOnly);
        if (readOnly && version != store_schema::kVersion) {
            throw StoreError("the PostgreSQL database holds skillhost data of version " +
                             std::to_string(version) + "; a rating run with --db upgrades it");
        }
        if (version != store_schema::kVersion) Upgrade();
    } catch (...) {
        PQfinish(connection);
        throw;
    }
}

PostgresRatingStore::~PostgresRatingStore() {
    PQfinish(connection);
}

void PostgresRatingStore::Prepare() {
    // Doubles as their shortest exact text both ways; bytes in hex. A reader's transactions may
    // not write, whatever its role may.
    Execute("SET extra_float_digits = 3");
    Execute("SET bytea_output = 'hex'");
    Execute("SET client_encoding = 'UTF8'");
    if (readOnly) Execute("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
}

void PostgresRatingStore::Reconnect() {
    PQreset(connection);
    if (PQstatus(connection) != CONNECTION_OK) {
        throw StoreError("PostgreSQL: " + OneLine(PQerrorMessage(connection)),
                         StoreError::Kind::Lost);
    }
    Prepare();
}

PostgresRatingStore::Result PostgresRatingStore::Execute(
    const char* sql, const std::vector<std::string>& parameters) {
    std::vector<const char*> values;
    for (const std::string& parameter : parameters) {
        values.push_back(parameter == kNull ? nullptr : parameter.c_str());
    }
    PGresult* raw = PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0);
    Result result(raw);
    const ExecStatusType status = PQresultStatus(raw);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    const char* state = PQresultErrorField(raw, PG_DIAG_SQLSTATE);
    const std::string code = state == nullptr ? "" : state;
    const std::string message = "PostgreSQL: " + OneLine(PQerrorMessage(connection));
    // 08: the connection; 57P01 to 57P03: the server shuts down or is starting.
    if (PQstatus(connection) != CONNECTION_OK || code.starts_with("08") ||
        code.starts_with("57P")) {
        throw StoreError(message, StoreError::Kind::Lost);
    }
    // 40001 serialization failure, 40P01 deadlock: the transaction may simply be run again.
    throw StoreError(message, code == "40001" || code == "40P01" ? StoreError::Kind::Retry
                                                                 : StoreError::Kind::Fatal);
}

int PostgresRatingStore::CheckIdentity(bool mayCreate) {
    Result tables = Execute(
        "SELECT to_regclass('skill_meta') IS NOT NULL, count(*) FROM pg_tables WHERE "
        "schemaname = current_schema() AND tablename IN ('skill_players', 'skill_ratings', "
        "'skill_logs', 'skill_history')");
    const bool ours = tables.Text(0, 0)[0] == 't';
    if (!ours && tables.Integer(0, 1) > 0) {
        throw StoreError(
            "the PostgreSQL database holds tables named like skillhost's (skill_players...) "
            "that are not skillhost's; they are left as they are");
    }
    if (!ours) {
        if (!mayCreate) throw StoreError("the PostgreSQL database holds no ratings yet");
        return 0;
    }
    Result schema = Execute("SELECT value FROM skill_meta WHERE name = 'schema'");
    const std::string text = schema.Rows() == 1 ? schema.Text(0, 0) : "";
    const auto version = store_schema::ParseVersion(text);
    if (!version || *version < 1 || *version > store_schema::kVersion) {
        throw StoreError("the PostgreSQL database holds skillhost data of another version (\"" +
                         text + "\"); it is left as it is");
    }
    return *version;
}

void PostgresRatingStore::Upgrade() {
    Execute("BEGIN");
    try {
        // Two hosts starting at once: the second finds the work done.
        Execute("SELECT pg_advisory_xact_lock($1::bigint)", {kSchemaLockKey});
        const int from = CheckIdentity(true);
        for (int step = from; step < store_schema::kVersion; ++step) {
            for (const char* sql : store_schema::kPostgres.steps[static_cast<std::size_t>(step)])
                Execute(sql);
        }
        Execute(
            "INSERT INTO skill_meta (name, value) VALUES ('schema', $1) "
            "ON CONFLICT (name) DO UPDATE SET value = excluded.value",
            {store_schema::VersionText(store_schema::kVersion)});
        Commit();
    } catch (...) {
        Rollback();
        throw;
    }
}

std::int64_t PostgresRatingStore::OpenLog(const LogIdentity& log) {
    Begin();
    try {
        // One host at a time adds a log, so two meeting a new one at once share its row.
        Execute("SELECT pg_advisory_xact_lock($1::bigint)", {kSchemaLockKey});
        const std::string identities = ArrayOf(
            log.identities, [](const std::string& identity) { return "\"" + identity + "\""; });
        Result found = Execute(
            "SELECT id, identity FROM skill_logs WHERE identity = ANY($1::text[])", {identities});
        std::optional<std::int64_t> id;
        std::size_t best = log.identities.size();
        for (int row = 0; row < found.Rows(); ++row) {
            for (std::size_t i = 0; i < best; ++i) {
                if (log.identities[i] == found.Text(row, 1)) {
                    best = i;
                    id = found.Integer(row, 0);
                }
            }
        }
        if (!id) {
            Result legacy =
                Execute(store_schema::kLegacyLogSql,
                        {Digits(static_cast<std::int64_t>(log.firstLineHash)), log.machine,
                         Digits(static_cast<std::int64_t>(log.device)),
                         Digits(static_cast<std::int64_t>(log.inode)), Bytea(log.path)});
            if (legacy.Rows() == 1) id = legacy.Integer(0, 0);
        }
        if (!id) {
            Result added = Execute(
                "INSERT INTO skill_logs (machine, device, inode, fingerprint, path, byte_offset, "
                "lines, first_seen, identity, map, started) "
                "VALUES ('', 0, 0, $1, $2, 0, 0, $3, $4, $5, $6) RETURNING id",
                {Digits(static_cast<std::int64_t>(std::hash<std::string>()(log.identities[0]))),
                 Bytea(log.path), Digits(static_cast<std::int64_t>(std::time(nullptr))),
                 log.identities[0], Bytea(log.map), OptionalDigits(log.started)});
            id = added.Integer(0, 0);
        } else {
            Execute(
                "UPDATE skill_logs SET path = $2, identity = CASE WHEN $3 THEN $4 ELSE identity "
                "END, map = coalesce(map, $5), started = coalesce(started, $6) WHERE id = $1",
                {Digits(*id), Bytea(log.path), best != 0 ? "true" : "false", log.identities[0],
                 Bytea(log.map), OptionalDigits(log.started)});
        }
        Commit();
        return *id;
    } catch (...) {
        Rollback();
        throw;
    }
}

void PostgresRatingStore::Begin() {
    Execute("BEGIN");
}

void PostgresRatingStore::Commit() {
    // A transaction that failed is ended by COMMIT all the same, which then answers ROLLBACK with
    // a success code: only the tag tells.
    Result done = Execute("COMMIT");
    if (done.Status() != "COMMIT") {
        throw StoreError("PostgreSQL: the transaction was rolled back (" + done.Status() + ")",
                         StoreError::Kind::Retry);
    }
}

void PostgresRatingStore::Rollback() noexcept {
    PQclear(PQexec(connection, "ROLLBACK"));
}

Positions PostgresRatingStore::LockLog(std::int64_t logId,
                                       const std::vector<std::string>& plugins) {
    Result log = Execute("SELECT byte_offset, lines FROM skill_logs WHERE id = $1 FOR UPDATE",
                         {Digits(logId)});
    if (log.Rows() != 1) throw StoreError("PostgreSQL: log " + Digits(logId) + " is gone");
    Positions positions;
    positions.facts = {static_cast<std::uint64_t>(log.Integer(0, 0)),
                       static_cast<std::uint64_t>(log.Integer(0, 1))};
    Result stored =
        Execute("SELECT plugin, byte_offset, lines FROM skill_positions WHERE log_id = $1",
                {Digits(logId)});
    positions.plugins.resize(plugins.size());
    for (int row = 0; row < stored.Rows(); ++row) {
        for (std::size_t i = 0; i < plugins.size(); ++i) {
            if (plugins[i] == stored.Text(row, 0)) {
                positions.plugins[i] = {static_cast<std::uint64_t>(stored.Integer(row, 1)),
                                        static_cast<std::uint64_t>(stored.Integer(row, 2))};
            }
        }
    }
    return positions;
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

void PostgresRatingStore::SaveFacts(std::int64_t logId, const std::vector<FactRow>& facts,
                                    const std::vector<WeaponKillRow>& weapons,
                                    std::uint64_t seconds) {
    // Array elements spell a missing time NULL.
    const auto seen = [](const std::optional<std::int64_t>& at) {
        return at ? Digits(*at) : std::string("NULL");
    };
    if (!facts.empty()) {
        Execute(
            "INSERT INTO skill_facts (key, log_id, kills, deaths, team_kills, seconds, "
            "first_seen, last_seen) SELECT key, $1, kills, deaths, team_kills, seconds, "
            "first_seen, last_seen FROM unnest($2::bigint[], $3::bigint[], $4::bigint[], "
            "$5::bigint[], $6::bigint[], $7::bigint[], $8::bigint[]) "
            "AS t(key, kills, deaths, team_kills, seconds, first_seen, last_seen) "
            "ON CONFLICT (key, log_id) DO UPDATE SET kills = skill_facts.kills + excluded.kills, "
            "deaths = skill_facts.deaths + excluded.deaths, "
            "team_kills = skill_facts.team_kills + excluded.team_kills, "
            "seconds = skill_facts.seconds + excluded.seconds, "
            "first_seen = least(skill_facts.first_seen, excluded.first_seen), "
            "last_seen = greatest(skill_facts.last_seen, excluded.last_seen)",
            {Digits(logId), ArrayOf(facts, [](const FactRow& row) { return Digits(row.key); }),
             ArrayOf(facts, [](const FactRow& row) { return Digits(row.kills); }),
             ArrayOf(facts, [](const FactRow& row) { return Digits(row.deaths); }),
             ArrayOf(facts, [](const FactRow& row) { return Digits(row.teamKills); }),
             ArrayOf(facts, [](const FactRow& row) { return Digits(row.seconds); }),
             ArrayOf(facts, [&](const FactRow& row) { return seen(row.firstSeen); }),
             ArrayOf(facts, [&](const FactRow& row) { return seen(row.lastSeen); })});
    }
    if (!weapons.empty()) {
        Execute(
            "INSERT INTO skill_weapon_kills (key, log_id, weapon, kills) SELECT key, $1, weapon, "
            "kills FROM unnest($2::bigint[], $3::bytea[], $4::bigint[]) AS t(key, weapon, kills) "
            "ON CONFLICT (key, log_id, weapon) DO UPDATE SET "
            "kills = skill_weapon_kills.kills + excluded.kills",
            {Digits(logId),
             ArrayOf(weapons, [](const WeaponKillRow& row) { return Digits(row.key); }),
             ArrayOf(weapons, [](const WeaponKillRow& row) { return ByteaElement(row.weapon); }),
             ArrayOf(weapons, [](const WeaponKillRow& row) { return Digits(row.kills); })});
    }
    Execute("UPDATE skill_logs SET seconds = greatest(seconds, $2) WHERE id = $1",
            {Digits(logId), Digits(seconds)});
}

void PostgresRatingStore::MovePosition(std::int64_t logId, const std::string& plugin,
                                       const Position& to) {
    if (plugin.empty()) {
        Execute("UPDATE skill_logs SET byte_offset = $2, lines = $3 WHERE id = $1",
                {Digits(logId), Digits(to.offset), Digits(to.lines)});
        return;
    }
    Execute(
        "INSERT INTO skill_positions (log_id, plugin, byte_offset, lines) VALUES ($1, $2, $3, $4) "
        "ON CONFLICT (log_id, plugin) DO UPDATE SET byte_offset = excluded.byte_offset, "
        "lines = excluded.lines",
        {Digits(logId), plugin, Digits(to.offset), Digits(to.lines)});
}

Rows PostgresRatingStore::Select(const char* sql, const std::vector<Value>& parameters) {
    std::vector<std::string> texts;
    for (const Value& parameter : parameters) {
        texts.push_back(std::holds_alternative<std::monostate>(parameter) ? kNull
                                                                          : Text(parameter));
    }
    Result result = Execute(sql, texts);
    Rows rows(static_cast<std::size_t>(result.Rows()));
    for (int row = 0; row < result.Rows(); ++row) {
        for (int column = 0; column < result.Columns(); ++column) {
            rows[static_cast<std::size_t>(row)].push_back(result.Cell(row, column));
        }
    }
    return rows;
}
