// Lasting ratings through the real program, in SQLite and in PostgreSQL: runs that add up,
// crashes that lose nothing and count nothing twice, writers that share players, reports, and
// databases that are not ours.
#include "HostProcess.h"
#include "RatingStore.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

namespace {

struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/skillhost-store-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string& name) const { return path + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }
    std::string path;
};

// A busy match: players join as it goes on and now and then change teams (listed again); kills
// between teams mostly, some team kills and their penalties, decays.
std::string MatchLog(std::uint32_t seed, std::uint32_t firstKey, int players, int events) {
    std::mt19937 random(seed);
    const char* weapons[] = {"rifle", "shotgun", "sniper", "knife", "grenade"};
    std::string text = "# match " + std::to_string(seed) + "\n";
    std::vector<std::uint32_t> keys;
    std::map<std::uint32_t, int> teams;
    const auto list = [&](std::uint32_t key, int team) {
        teams[key] = team;
        text += "player " + std::to_string(key) + ' ' + std::to_string(key + 1000000) +
                (team ? " blue" : " red") + " Player " + std::to_string(key) + '\n';
    };
    for (int event = 0; event < events; ++event) {
        if (keys.size() < 2 ||
            (keys.size() < static_cast<std::size_t>(players) && random() % 40 == 0)) {
            keys.push_back(firstKey + static_cast<std::uint32_t>(keys.size()));
            list(keys.back(), static_cast<int>(keys.size() % 2));
        } else if (random() % 300 == 0) {
            const std::uint32_t key = keys[random() % keys.size()];
            list(key, 1 - teams[key]);
        }
        const std::uint32_t first = keys[random() % keys.size()];
        std::uint32_t second = keys[random() % keys.size()];
        const unsigned roll = random() % 100;
        if (roll < 5) {
            text += "event 15 - " + std::to_string(first) + '\n';
        } else {
            text += std::string("event ") + (roll < 9 ? "30 " : "19 ") + weapons[random() % 5] +
                    ' ' + std::to_string(first) + ' ' + std::to_string(second) + '\n';
        }
    }
    return text;
}

// Everything a store holds about ratings, doubles to the bit; matches by their order.
std::string Dump(const std::string& where) {
    const auto store = OpenRatingStore(where, StoreAccess::ReadOnly);
    std::ostringstream out;
    for (const std::string& plugin : store->Plugins()) {
        for (const LeaderboardRow& row : store->Leaderboard(plugin)) {
            out << plugin << ' ' << row.key << ' ' << row.name << ' '
                << std::bit_cast<std::uint64_t>(row.rating.skill) << ' '
                << std::bit_cast<std::uint64_t>(row.rating.weightedSkill) << ' ' << row.events
                << ' ' << row.matches << '\n';
        }
        const auto history = store->History(plugin);
        std::set<std::int64_t> logs;
        for (const HistoryPoint& point : history) logs.insert(point.logId);
        for (const HistoryPoint& point : history) {
            out << plugin << ' ' << point.key << " match "
                << std::distance(logs.begin(), logs.find(point.logId)) << ' '
                << std::bit_cast<std::uint64_t>(point.rating.skill) << ' '
                << std::bit_cast<std::uint64_t>(point.rating.weightedSkill) << '\n';
        }
    }
    return out.str();
}

std::uint64_t EventsStored(const std::string& where) {
    std::uint64_t events = 0;
    try {
        const auto store = OpenRatingStore(where, StoreAccess::ReadOnly);
        for (const std::string& plugin : store->Plugins()) {
            for (const LeaderboardRow& row : store->Leaderboard(plugin)) events += row.events;
        }
    } catch (const StoreError&) {
        // Killed before it made its tables.
    }
    return events;
}

const std::vector<std::string> kPlugins = {"brindle_skill", "quorvex_skill", "corvane_skill"};

// One test, one fresh database: an SQLite file, or a PostgreSQL database of the server that
// tests/with-postgresql started.
class LastingRatingsTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql" && std::getenv("TARNWICK_TEST_POSTGRES_HOST") == nullptr) {
            GTEST_SKIP() << "no PostgreSQL server (run through tests/with-postgresql)";
        }
    }

    std::string NewDatabase() {
        static int count = 0;
        const std::string name = "ratings" + std::to_string(++count);
        if (GetParam() == "sqlite") return dir.File(name + ".db");
        const std::string host = std::getenv("TARNWICK_TEST_POSTGRES_HOST");
        const std::string user = std::getenv("TARNWICK_TEST_POSTGRES_USER");
        const std::string database = "skill_" + std::to_string(::getpid()) + "_" + name;
        PGconn* admin =
            PQconnectdb(("host=" + host + " user=" + user + " dbname=postgres").c_str());
        EXPECT_EQ(PQstatus(admin), CONNECTION_OK) << PQerrorMessage(admin);
        PQclear(PQexec(admin, ("CREATE DATABASE " + database).c_str()));
        PQfinish(admin);
        return "postgresql:///" + database + "?host=" + host + "&user=" + user;
    }

    int Rate(const std::string& database, std::vector<std::string> arguments,
             std::string* errors = nullptr) {
        arguments.insert(arguments.begin(), {"--db", database});
        arguments.insert(arguments.end(), kPlugins.begin(), kPlugins.end());
        return HostProcess::Run(arguments, dir.File("run"), nullptr, errors);
    }

    std::string Report(const std::string& database, std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"report", "--db", database});
        std::string output, errors;
        EXPECT_EQ(HostProcess::Run(options, dir.File("report"), &output, &errors), 0) << errors;
        return output;
    }

    TempDir dir;
};

TEST_P(LastingRatingsTest, TwoRunsOverTwoLogsRateAsOneRunOverBoth) {
    // The second match has players of the first, one of them on the other team now, and new ones.
    TempDir logs;
    logs.Write("a.log", MatchLog(1, 100, 12, 3000));
    logs.Write("b.log", MatchLog(2, 106, 12, 3000));
    const std::string twoRuns = NewDatabase(), oneRun = NewDatabase(), secondOnly = NewDatabase();
    std::string errors;
    ASSERT_EQ(Rate(twoRuns, {logs.File("a.log")}, &errors), 0) << errors;
    EXPECT_EQ(errors, "skillhost: 3000 events rated\n");
    ASSERT_EQ(Rate(twoRuns, {logs.File("b.log")}), 0);
    ASSERT_EQ(Rate(oneRun, {logs.path}), 0);
    ASSERT_EQ(Rate(secondOnly, {logs.File("b.log")}), 0);

    const std::string dump = Dump(oneRun);
    EXPECT_EQ(Dump(twoRuns), dump);
    EXPECT_NE(Dump(secondOnly), dump);
    EXPECT_NE(dump.find("corvane_skill 106 Player 106"), std::string::npos) << dump;
    EXPECT_NE(dump.find("quorvex_skill 106 match 1 "), std::string::npos)
        << "a player of both matches has a history row for each";

    // Rated logs are not rated again, by the same path or through the directory.
    ASSERT_EQ(Rate(oneRun, {logs.path}, &errors), 0);
    ASSERT_EQ(Rate(oneRun, {logs.File("a.log")}), 0);
    EXPECT_EQ(errors, "skillhost: 0 events rated\n");
    EXPECT_EQ(Dump(oneRun), dump);

    // Without a database the same two logs in one run give the same ratings.
    std::string ranking;
    std::vector<std::string> arguments{"--format", "csv", logs.path};
    arguments.insert(arguments.end(), kPlugins.begin(), kPlugins.end());
    ASSERT_EQ(HostProcess::Run(arguments, dir.File("plain"), &ranking), 0);
    std::string stored = Report(oneRun, {"--format", "csv"});
    // The report's columns are the ranking's and two more; the plug-ins come in name order.
    std::set<std::string> rankingRows, storedRows;
    for (std::istringstream in(ranking); std::getline(in, ranking);) rankingRows.insert(ranking);
    for (std::istringstream in(stored); std::getline(in, stored);) {
        storedRows.insert(std::regex_replace(stored, std::regex(",[^,]*,[^,]*$"), ""));
    }
    EXPECT_EQ(storedRows, rankingRows);
}

TEST_P(LastingRatingsTest, KillNineAnywhereThenARestartGivesTheUninterruptedRatings) {
    TempDir logs;
    const std::string log = logs.File("match.log");
    logs.Write("match.log", MatchLog(7, 1, 150, 120000));
    const std::vector<std::string> arguments{"--batch", "1500", log};

    const std::string reference = NewDatabase();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Rate(reference, arguments), 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    const std::uint64_t total = EventsStored(reference);

    // Each run is killed at a random moment within its first quarter of the whole run's time:
    // starting, reading what was rated, in a batch, committing, or after everything.
    const std::string crashed = NewDatabase();
    std::mt19937 random(::testing::UnitTest::GetInstance()->random_seed());
    int killedMidway = 0;
    for (int round = 0; round < 40; ++round) {
        HostProcess host({"--db", crashed, "--batch", "1500", log, "brindle_skill", "quorvex_skill",
                          "corvane_skill"},
                         dir.File("crash"));
        std::this_thread::sleep_for(whole * (random() % 1000) / 4000);
        host.Signal(SIGKILL);
        const int status = host.Wait();
        const std::uint64_t events = EventsStored(crashed);
        ASSERT_LE(events, total);
        if (status == 128 + SIGKILL && events > 0 && events < total) ++killedMidway;
        if (events == total) break;
    }
    EXPECT_GE(killedMidway, 3) << "too few kills landed while the log was being rated";
    ASSERT_EQ(Rate(crashed, arguments), 0);
    EXPECT_EQ(Dump(crashed), Dump(reference));
}

// Two game servers, the same eight players. With corvane_skill a kill between the teams moves a
// whole number of points from one player to the other, and a player killing themself (the same
// listing twice: equal groups, a ratio of exactly 1) costs them exactly 5. Whatever order the
// servers' batches take, the ratings add up to 8000 less 5 for every such kill; a writer that
// overwrote the other's update would lose or add points.
class TwoServers {
public:
    static constexpr const char* kPlayers =
        "player 1 1 team1 p1\nplayer 2 2 team0 p2\nplayer 3 3 team1 p3\nplayer 4 4 team0 p4\n"
        "player 5 5 team1 p5\nplayer 6 6 team0 p6\nplayer 7 7 team1 p7\nplayer 8 8 team0 p8\n";

    std::string Events(int server, int count) {
        std::string text;
        for (int event = 0; event < count; ++event) {
            const unsigned first = 1 + random[server]() % 8;
            unsigned second = 1 + (first + 2 * (random[server]() % 4)) % 8;  // the other team
            if (random[server]() % 3 == 0) {
                second = first;
                ++selfKills;
            }
            text += "event 19 rifle " + std::to_string(first) + ' ' + std::to_string(second) + '\n';
            events += first == second ? 1 : 2;
        }
        return text;
    }

    void Check(const std::string& database, std::uint64_t matches) const {
        const auto store = OpenRatingStore(database, StoreAccess::ReadOnly);
        const auto board = store->Leaderboard("corvane_skill");
        ASSERT_EQ(board.size(), 8u);
        double skill = 0, weighted = 0;
        std::uint64_t named = 0;
        for (const LeaderboardRow& row : board) {
            skill += row.rating.skill;
            weighted += row.rating.weightedSkill;
            named += row.events;
            EXPECT_EQ(row.matches, matches);
        }
        EXPECT_GT(selfKills, 30);
        EXPECT_EQ(skill, 8000.0 - 5.0 * selfKills);
        EXPECT_EQ(weighted, 8000.0 - 5.0 * selfKills);
        EXPECT_EQ(named, events);
    }

    std::uint64_t events = 0;  // events naming each player, added up

private:
    std::mt19937 random[2] = {std::mt19937(11), std::mt19937(12)};
    int selfKills = 0;
};

TEST_P(LastingRatingsTest, TwoWritersOnTheSamePlayersLoseNoUpdate) {
    // Flat out, both at once, on a new database: they make its tables together, too.
    TempDir logs;
    TwoServers servers;
    for (int server = 0; server < 2; ++server) {
        logs.Write("server" + std::to_string(server) + ".log",
                   TwoServers::kPlayers + servers.Events(server, 1500));
    }
    const std::string shared = NewDatabase();
    std::vector<std::unique_ptr<HostProcess>> writers;
    for (int server = 0; server < 2; ++server) {
        writers.push_back(std::make_unique<HostProcess>(
            std::vector<std::string>{"--db", shared, "--batch", "3",
                                     logs.File("server" + std::to_string(server) + ".log"),
                                     "corvane_skill"},
            dir.File("writer" + std::to_string(server))));
    }
    for (auto& writer : writers) EXPECT_EQ(writer->Wait(), 0) << writer->Err();
    servers.Check(shared, 2);
}

TEST_P(LastingRatingsTest, AFollowerRatesOnTopOfWhatAnotherWriterCommitted) {
    // Two following hosts take turns: each batch must start from the ratings the other has
    // just committed, not from what the host remembers of its own last batch.
    TempDir logs;
    TwoServers servers;
    const std::string shared = NewDatabase();
    std::vector<std::unique_ptr<HostProcess>> followers;
    for (int server = 0; server < 2; ++server) {
        const std::string log = logs.File("server" + std::to_string(server) + ".log");
        std::ofstream(log) << TwoServers::kPlayers;
        followers.push_back(std::make_unique<HostProcess>(
            std::vector<std::string>{"--db", shared, "--follow", log, "corvane_skill"},
            dir.File("follower" + std::to_string(server))));
    }
    for (int turn = 0; turn < 16; ++turn) {
        const int server = turn % 2;
        std::ofstream(logs.File("server" + std::to_string(server) + ".log"), std::ios::app)
            << servers.Events(server, 25);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (EventsStored(shared) != servers.events &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(EventsStored(shared), servers.events) << "turn " << turn;
    }
    for (auto& follower : followers) {
        follower->Signal(SIGTERM);
        EXPECT_EQ(follower->Wait(), 0) << follower->Err();
        EXPECT_NE(follower->Err().find("skillhost: following "), std::string::npos);
    }
    servers.Check(shared, 2);
}

TEST_P(LastingRatingsTest, ReportGivesEachPluginsLeaderboardInEveryFormat) {
    // ash kills birch, then birch, on ash's old team now, kills ash; cedar only looks on.
    TempDir logs;
    logs.Write("a.log",
               "player 1 11 red ash\nplayer 2 12 blue birch\nplayer 3 13 blue Ce\"dar, <b>\n"
               "event 19 rifle 1 2\n");
    logs.Write("b.log", "player 2 12 red birch\nplayer 1 11 blue ash\nevent 19 rifle 2 1\n");
    const std::string database = NewDatabase();
    ASSERT_EQ(Rate(database, {logs.path}), 0);

    EXPECT_EQ(Report(database, {"--plugin", "quorvex_skill"}),
              "quorvex_skill\n"
              "rank  key  player             skill     weighted  events  matches\n"
              "   1    2  birch        1010.000000  1010.000000       2        2\n"
              "   2    1  ash          1000.000000  1000.000000       2        2\n"
              "   3    3  Ce\"dar, <b>  1000.000000  1000.000000       0        1\n");
    EXPECT_EQ(Report(database, {"--format", "csv", "--top", "2", "--plugin", "corvane_skill",
                                "--plugin", "quorvex_skill"}),
              "plugin,rank,key,player,skill,weighted_skill,events,matches\n"
              "corvane_skill,1,1,ash,1000.000000,1000.000000,2,2\n"
              "corvane_skill,2,2,birch,1000.000000,1000.000000,2,2\n"
              "quorvex_skill,1,2,birch,1010.000000,1010.000000,2,2\n"
              "quorvex_skill,2,1,ash,1000.000000,1000.000000,2,2\n");
    const std::string json = Report(database, {"--format", "json", "--plugin", "corvane_skill"});
    EXPECT_NE(json.find("{\"rank\": 3, \"key\": 3, \"player\": \"Ce\\\"dar, <b>\", "
                        "\"skill\": 1000.000000, \"weighted_skill\": 1000.000000, "
                        "\"events\": 0, \"matches\": 1}"),
              std::string::npos)
        << json;

    const std::string html = Report(database, {"--format", "html"});
    EXPECT_NE(html.find("<td>Ce&quot;dar, &lt;b&gt;</td>"), std::string::npos) << html;
    EXPECT_FALSE(std::regex_search(html, std::regex("(src|href)=|https?:")))
        << "the page fetches nothing";
    // Two matches make a line, one a dot.
    EXPECT_NE(html.find("<title>skill over the last 2 matches: 1010.000000 to 1000.000000"),
              std::string::npos);
    EXPECT_NE(html.find("<polyline points=\"2.0,"), std::string::npos);
    EXPECT_NE(html.find("<circle"), std::string::npos);

    std::string errors;
    EXPECT_EQ(HostProcess::Run({"report", "--db", database, "--plugin", "other_skill"},
                               dir.File("report"), nullptr, &errors),
              1);
    EXPECT_EQ(errors, "skillhost: the database holds no ratings by other_skill\n");
}

TEST_P(LastingRatingsTest, ADatabaseOfAnotherProgramIsRefusedAndLeftAlone) {
    TempDir logs;
    logs.Write("a.log", "player 1 11 red ash\n");
    const std::string database = NewDatabase();
    std::string errors;
    if (GetParam() == "postgresql") {
        const std::string host = std::getenv("TARNWICK_TEST_POSTGRES_HOST");
        PGconn* other =
            PQconnectdb(("host=" + host + " user=" + std::getenv("TARNWICK_TEST_POSTGRES_USER") +
                         " dbname=" + database.substr(14, database.find('?') - 14))
                            .c_str());
        PQclear(PQexec(other,
                       "CREATE TABLE skill_players (id int); INSERT INTO skill_players "
                       "VALUES (7)"));
        EXPECT_EQ(Rate(database, {logs.File("a.log")}, &errors), 1);
        EXPECT_EQ(errors,
                  "skillhost: the PostgreSQL database holds tables named like skillhost's "
                  "(skill_players...) that are not skillhost's; they are left as they are\n");
        PGresult* rows = PQexec(other, "SELECT id FROM skill_players");
        EXPECT_EQ(std::string(PQgetvalue(rows, 0, 0)), "7");
        PQclear(rows);
        PQfinish(other);
        return;
    }

    // Ours, for the damaged cases.
    ASSERT_EQ(Rate(database, {logs.File("a.log")}), 0);
    const std::string ours = HostProcess::Read(database);
    ASSERT_GT(ours.size(), 8192u);
    sqlite3* foreign = nullptr;
    sqlite3_open(dir.File("foreign.db").c_str(), &foreign);
    sqlite3_exec(foreign, "CREATE TABLE players (name TEXT); INSERT INTO players VALUES ('x')",
                 nullptr, nullptr, nullptr);
    sqlite3_close(foreign);
    std::string noise(5000, '\0');
    std::mt19937 random(3);
    for (char& c : noise) c = static_cast<char>(random());
    const struct {
        std::string name, bytes, error;
    } cases[] = {
        {"log.db", "player 1 11 red ash\n", " is not a skillhost database (not an SQLite file)"},
        {"noise.db", noise, " is not a skillhost database (not an SQLite file)"},
        {"foreign.db", HostProcess::Read(dir.File("foreign.db")),
         " is an SQLite database of another program"},
        {"cut.db", ours.substr(0, 4096), " is damaged or not a database"},
        {"scrambled.db", ours.substr(0, 4096) + noise.substr(0, ours.size() - 4096),
         " is damaged or not a database"},
        {"future.db",
         std::regex_replace(ours, std::regex("tarnwick skillhost 1"), "tarnwick skillhost 9"),
         " holds skillhost data of another version (\"tarnwick skillhost 9\")"},
    };
    for (const auto& c : cases) {
        dir.Write(c.name, c.bytes);
        EXPECT_EQ(Rate(dir.File(c.name), {logs.File("a.log")}, &errors), 1) << c.name;
        EXPECT_EQ(errors.rfind("skillhost: " + dir.File(c.name) + c.error, 0), 0u) << errors;
        EXPECT_EQ(HostProcess::Read(dir.File(c.name)), c.bytes) << c.name << " was written to";
        EXPECT_FALSE(std::filesystem::exists(dir.File(c.name) + "-wal")) << c.name;
    }
    EXPECT_EQ(Rate(dir.path, {logs.File("a.log")}, &errors), 1);
    EXPECT_EQ(errors, "skillhost: " + dir.path + " is not a file; it is left as it is\n");
    EXPECT_EQ(HostProcess::Run({"report", "--db", dir.File("none.db")}, dir.File("report"), nullptr,
                               &errors),
              1);
    EXPECT_EQ(errors.rfind("skillhost: no database " + dir.File("none.db"), 0), 0u) << errors;
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.db")));
}

INSTANTIATE_TEST_SUITE_P(SQLite, LastingRatingsTest, ::testing::Values("sqlite"));
INSTANTIATE_TEST_SUITE_P(PostgreSQL, LastingRatingsTest, ::testing::Values("postgresql"));

}  // namespace
