// Lasting ratings through the real program, in SQLite and in PostgreSQL: runs that add up,
// crashes that lose nothing and count nothing twice, writers that share players, reports, and
// databases that are not ours.
#include "RatingStore.h"
#include "StoreQueries.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

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

// The program as operators and service managers run it; its output goes to files.
class HostProcess {
public:
    explicit HostProcess(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SKILLHOST);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::string out = files.File("out"), err = files.File("err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0644);
        const int failed = posix_spawn(&pid, SKILLHOST, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed) throw std::runtime_error("cannot start " SKILLHOST);
    }
    ~HostProcess() {
        Signal(SIGKILL);
        Wait();
    }

    void Signal(int signal) const {
        if (!ended) ::kill(pid, signal);
    }
    bool Ended() { return ended = ended || ::waitpid(pid, &status, WNOHANG) == pid; }
    // The exit status, or 128 + the signal that ended it.
    int Wait() {
        if (!ended) ::waitpid(pid, &status, 0);
        ended = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Out() const { return ReadFile(files.File("out")); }
    std::string Err() const { return ReadFile(files.File("err")); }

private:
    TempDir files;
    pid_t pid = -1;
    int status = 0;
    bool ended = false;
};

int RunHost(const std::vector<std::string>& arguments, std::string* errors = nullptr,
            std::string* output = nullptr) {
    HostProcess host(arguments);
    const int status = host.Wait();
    if (errors) *errors = host.Err();
    if (output) *output = host.Out();
    return status;
}

const std::vector<std::string> kPlugins = {"brindle_skill", "quorvex_skill", "corvane_skill"};

// A rating run's arguments, with every plug-in.
std::vector<std::string> Rating(const std::string& database, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--db", database});
    arguments.insert(arguments.end(), kPlugins.begin(), kPlugins.end());
    return arguments;
}

int Rate(const std::string& database, const std::vector<std::string>& arguments,
         std::string* errors = nullptr) {
    return RunHost(Rating(database, arguments), errors);
}

std::string Report(const std::string& database, std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"report", "--db", database});
    std::string output, errors;
    EXPECT_EQ(RunHost(options, &errors, &output), 0) << errors;
    return output;
}

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

std::string BoardLine(const std::string& plugin, const std::string& key, const std::string& name,
                      double skill, double weighted, const std::string& events,
                      const std::string& matches) {
    return plugin + ' ' + key + ' ' + name + ' ' +
           std::to_string(std::bit_cast<std::uint64_t>(skill)) + ' ' +
           std::to_string(std::bit_cast<std::uint64_t>(weighted)) + ' ' + events + ' ' + matches +
           '\n';
}

// Everything a store holds about ratings, doubles to the bit; matches by their order (left out
// where logs may have been met in another order).
std::string Dump(const std::string& where, bool history = true) {
    const auto store = OpenRatingStore(where, StoreAccess::ReadOnly);
    std::ostringstream out;
    for (const std::string& plugin : store_queries::Plugins(*store)) {
        for (const LeaderboardRow& row : store_queries::Leaderboard(*store, plugin)) {
            out << BoardLine(plugin, std::to_string(row.key), row.name, row.rating.skill,
                             row.rating.weightedSkill, std::to_string(row.events),
                             std::to_string(row.matches));
        }
        const auto points = store_queries::History(*store, plugin);
        std::set<std::int64_t> logs;
        for (const HistoryPoint& point : points) logs.insert(point.logId);
        for (const HistoryPoint& point : history ? points : std::vector<HistoryPoint>()) {
            out << plugin << ' ' << point.key << " match "
                << std::distance(logs.begin(), logs.find(point.logId)) << ' '
                << std::bit_cast<std::uint64_t>(point.rating.skill) << ' '
                << std::bit_cast<std::uint64_t>(point.rating.weightedSkill) << '\n';
        }
    }
    return out.str();
}

// A report's leaderboards as Dump writes them: groups plugin (when it changes), key, player,
// skill, weighted, events, matches.
std::string BoardsOfReport(const std::string& report, const std::regex& row) {
    std::string plugin, boards;
    for (std::sregex_iterator it(report.begin(), report.end(), row), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (m[1].matched) plugin = m[1];
        if (m[2].matched)
            boards += BoardLine(plugin, m[2], m[3], std::stod(m[4]), std::stod(m[5]), m[6], m[7]);
    }
    return boards;
}

std::uint64_t EventsStored(const std::string& where) {
    std::uint64_t events = 0;
    try {
        const auto store = OpenRatingStore(where, StoreAccess::ReadOnly);
        for (const std::string& plugin : store_queries::Plugins(*store)) {
            for (const auto& row : store_queries::Leaderboard(*store, plugin)) events += row.events;
        }
    } catch (const StoreError&) {
        // Killed before it made its tables.
    }
    return events;
}

// Waits until `done` holds. Followers take their time on a busy machine: the deadline only keeps
// a broken one from hanging the test.
bool Await(const std::function<bool()>& done,
           std::chrono::seconds limit = std::chrono::minutes(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Waits until the store holds `count` events; a follower that ended fails the test at once.
std::uint64_t AwaitEvents(const std::string& where, std::uint64_t count,
                          const std::vector<HostProcess*>& followers = {}) {
    std::uint64_t events = 0;
    Await([&] {
        for (HostProcess* follower : followers) {
            if (follower->Ended()) ADD_FAILURE() << "a follower ended: " << follower->Err();
        }
        return (events = EventsStored(where)) == count || ::testing::Test::HasFailure();
    });
    return events;
}

// Stops a follower once it follows: one that has had nothing to rate may still be starting, when
// a stop signal ends it at once.
void Stop(HostProcess& follower) {
    const std::string following = "skillhost: following ";
    Await([&] { return follower.Ended() || follower.Err().find(following) != std::string::npos; },
          std::chrono::seconds(60));
    follower.Signal(SIGTERM);
    EXPECT_EQ(follower.Wait(), 0) << follower.Err();
    EXPECT_NE(follower.Err().find(following), std::string::npos);
}

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

    // A database that one plain run made of `logs`, a file or a folder.
    std::string RatedOnce(const std::string& logs) {
        const std::string reference = NewDatabase();
        EXPECT_EQ(Rate(reference, {logs}), 0);
        return reference;
    }

    // Waits for the followers to store as many events as `reference` holds, stops them, and
    // compares the two.
    void ExpectCaughtUp(const std::string& shared, const std::string& reference,
                        const std::vector<HostProcess*>& followers, bool history = true) {
        const std::uint64_t events = EventsStored(reference);
        EXPECT_EQ(AwaitEvents(shared, events, followers), events);
        for (HostProcess* follower : followers) Stop(*follower);
        EXPECT_EQ(Dump(shared, history), Dump(reference, history));
    }

    TempDir dir;
};

TEST_P(LastingRatingsTest, TwoRunsOverTwoLogsRateAsOneRunOverBoth) {
    // The second match has players of the first, one of them on the other team now, and new ones.
    TempDir logs;
    logs.Write("a.log", MatchLog(1, 100, 12, 3000));
    logs.Write("b.log", MatchLog(2, 106, 12, 3000));
    const std::string twoRuns = NewDatabase(), oneRun = RatedOnce(logs.path);
    std::string errors;
    ASSERT_EQ(Rate(twoRuns, {logs.File("a.log")}, &errors), 0) << errors;
    EXPECT_EQ(errors, "skillhost: 3000 events rated\n");
    ASSERT_EQ(Rate(twoRuns, {logs.File("b.log")}), 0);

    const std::string dump = Dump(oneRun);
    EXPECT_EQ(Dump(twoRuns), dump);
    EXPECT_NE(Dump(RatedOnce(logs.File("b.log"))), dump);
    EXPECT_NE(dump.find("corvane_skill 106 Player 106"), std::string::npos) << dump;
    EXPECT_NE(dump.find("quorvex_skill 106 match 1 "), std::string::npos)
        << "a player of both matches has a history row for each";

    // Rated logs are not rated again, by the same path or through the directory.
    ASSERT_EQ(Rate(oneRun, {logs.path}, &errors), 0);
    ASSERT_EQ(Rate(oneRun, {logs.File("a.log")}), 0);
    EXPECT_EQ(errors, "skillhost: 0 events rated\n");
    EXPECT_EQ(Dump(oneRun), dump);

    // Without a database the same two logs in one run give the same ratings. The report's
    // columns are the ranking's and two more; the plug-ins come in name order.
    std::string ranking;
    ASSERT_EQ(
        RunHost({"--format", "csv", logs.path, "brindle_skill", "quorvex_skill", "corvane_skill"},
                nullptr, &ranking),
        0);
    const std::string csv = Report(oneRun, {"--format", "csv"});
    std::set<std::string> rankingRows, storedRows;
    for (std::istringstream in(ranking); std::getline(in, ranking);) rankingRows.insert(ranking);
    for (std::istringstream in(csv); std::getline(in, ranking);) {
        storedRows.insert(std::regex_replace(ranking, std::regex(",[^,]*,[^,]*$"), ""));
    }
    EXPECT_EQ(storedRows, rankingRows);

    // Every rating read back from the CSV and the JSON is the stored double, to the bit.
    const std::string boards = Dump(oneRun, false);
    EXPECT_GT(std::count(boards.begin(), boards.end(), '\n'), 50);
    EXPECT_EQ(BoardsOfReport(csv, std::regex("\n([a-z_]+),\\d+,(\\d+),([^,\n]*),([^,]+),([^,]+),"
                                             "(\\d+),(\\d+)")),
              boards);
    EXPECT_EQ(BoardsOfReport(Report(oneRun, {"--format", "json"}),
                             std::regex("\"plugin\": \"([a-z_]+)\"|\"key\": (\\d+), \"player\": "
                                        "\"([^\"]*)\", \"skill\": ([^,]+), \"weighted_skill\": "
                                        "([^,]+), \"events\": (\\d+), \"matches\": (\\d+)")),
              boards);
}

TEST_P(LastingRatingsTest, KillNineAnywhereThenARestartGivesTheUninterruptedRatings) {
    TempDir logs;
    logs.Write("match.log", MatchLog(7, 1, 150, 120000));
    const std::vector<std::string> arguments{"--batch", "1500", logs.File("match.log")};

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
        HostProcess host(Rating(crashed, arguments));
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
    TwoServers() {
        for (int server = 0; server < 2; ++server) {
            std::ofstream(Log(server)) << "player 1 1 team1 p1\nplayer 2 2 team0 p2\n"
                                          "player 3 3 team1 p3\nplayer 4 4 team0 p4\n"
                                          "player 5 5 team1 p5\nplayer 6 6 team0 p6\n"
                                          "player 7 7 team1 p7\nplayer 8 8 team0 p8\n";
        }
    }
    std::string Log(int server) const {
        return logs.File("server" + std::to_string(server) + ".log");
    }

    // Each server's host of corvane_skill on its log, with `options`.
    std::vector<std::unique_ptr<HostProcess>> Hosts(const std::string& database,
                                                    const std::vector<std::string>& options) {
        std::vector<std::unique_ptr<HostProcess>> hosts;
        for (int server = 0; server < 2; ++server) {
            std::vector<std::string> arguments = options;
            arguments.insert(arguments.end(), {Log(server), "--db", database, "corvane_skill"});
            hosts.push_back(std::make_unique<HostProcess>(arguments));
        }
        return hosts;
    }

    void Append(int server, int count) {
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
        std::ofstream(Log(server), std::ios::app) << text;
    }

    void Check(const std::string& database) const {
        const auto store = OpenRatingStore(database, StoreAccess::ReadOnly);
        const auto board = store_queries::Leaderboard(*store, "corvane_skill");
        ASSERT_EQ(board.size(), 8u);
        double skill = 0, weighted = 0;
        std::uint64_t named = 0;
        for (const LeaderboardRow& row : board) {
            skill += row.rating.skill;
            weighted += row.rating.weightedSkill;
            named += row.events;
            EXPECT_EQ(row.matches, 2u);
        }
        EXPECT_GT(selfKills, 30);
        EXPECT_EQ(skill, 8000.0 - 5.0 * selfKills);
        EXPECT_EQ(weighted, 8000.0 - 5.0 * selfKills);
        EXPECT_EQ(named, events);
    }

    std::uint64_t events = 0;  // events naming each player, added up

private:
    TempDir logs;
    std::mt19937 random[2] = {std::mt19937(11), std::mt19937(12)};
    int selfKills = 0;
};

TEST_P(LastingRatingsTest, TwoWritersOnTheSamePlayersLoseNoUpdate) {
    // Flat out, both at once, on a new database: they make its tables together, too.
    TwoServers servers;
    for (int server = 0; server < 2; ++server) servers.Append(server, 1500);
    const std::string shared = NewDatabase();
    for (auto& writer : servers.Hosts(shared, {"--batch", "3"}))
        EXPECT_EQ(writer->Wait(), 0) << writer->Err();
    servers.Check(shared);

    // Then two following hosts take turns: each batch must start from the ratings the other has
    // just committed, not from what the host remembers of its own last batch.
    const auto followers = servers.Hosts(shared, {"--follow"});
    const std::vector<HostProcess*> watched{followers[0].get(), followers[1].get()};
    for (int turn = 0; turn < 16; ++turn) {
        servers.Append(turn % 2, 25);
        ASSERT_EQ(AwaitEvents(shared, servers.events, watched), servers.events) << "turn " << turn;
    }
    for (HostProcess* follower : watched) Stop(*follower);
    servers.Check(shared);
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
              "rank  key  player       skill  weighted  events  matches\n"
              "   1    2  birch         1010      1010       2        2\n"
              "   2    1  ash           1000      1000       2        2\n"
              "   3    3  Ce\"dar, <b>   1000      1000       0        1\n");
    EXPECT_EQ(Report(database, {"--format", "csv", "--top", "2", "--plugin", "corvane_skill",
                                "--plugin", "quorvex_skill"}),
              "plugin,rank,key,player,skill,weighted_skill,events,matches\n"
              "corvane_skill,1,1,ash,1000,1000,2,2\n"
              "corvane_skill,2,2,birch,1000,1000,2,2\n"
              "quorvex_skill,1,2,birch,1010,1010,2,2\n"
              "quorvex_skill,2,1,ash,1000,1000,2,2\n");
    const std::string json = Report(database, {"--format", "json", "--plugin", "corvane_skill"});
    EXPECT_NE(json.find("{\"rank\": 3, \"key\": 3, \"player\": \"Ce\\\"dar, <b>\", "
                        "\"skill\": 1000, \"weighted_skill\": 1000, "
                        "\"events\": 0, \"matches\": 1}"),
              std::string::npos)
        << json;

    const std::string html = Report(database, {"--format", "html"});
    EXPECT_NE(html.find("<td>Ce&quot;dar, &lt;b&gt;</td>"), std::string::npos) << html;
    EXPECT_FALSE(std::regex_search(html, std::regex("(src|href)=|https?:")))
        << "the page fetches nothing";
    // Two matches make a line, one a dot.
    EXPECT_NE(html.find("<title>skill over the last 2 matches: 1010 to 1000"), std::string::npos);
    EXPECT_NE(html.find("<polyline points=\"2.0,"), std::string::npos);
    EXPECT_NE(html.find("<circle"), std::string::npos);

    std::string errors;
    EXPECT_EQ(RunHost({"report", "--db", database, "--plugin", "other_skill"}, &errors), 1);
    EXPECT_EQ(errors, "skillhost: the database holds no ratings by other_skill\n");
}

TEST_P(LastingRatingsTest, ADatabaseOfAnotherProgramIsRefusedAndLeftAlone) {
    TempDir logs;
    logs.Write("a.log", "player 1 11 red ash\n");
    const std::string database = NewDatabase();
    std::string errors;
    if (GetParam() == "postgresql") {
        PGconn* other = PQconnectdb(database.c_str());
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
    const std::string ours = ReadFile(database);
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
        {"foreign.db", ReadFile(dir.File("foreign.db")),
         " is an SQLite database of another program"},
        {"cut.db", ours.substr(0, 4096), " is damaged or not a database"},
        {"scrambled.db", ours.substr(0, 4096) + noise.substr(0, ours.size() - 4096),
         " is damaged or not a database"},
        {"future.db",
         std::regex_replace(ours, std::regex("tarnwick skillhost 2"), "tarnwick skillhost 9"),
         " holds skillhost data of another version (\"tarnwick skillhost 9\")"},
    };
    for (const auto& c : cases) {
        dir.Write(c.name, c.bytes);
        EXPECT_EQ(Rate(dir.File(c.name), {logs.File("a.log")}, &errors), 1) << c.name;
        EXPECT_EQ(errors.rfind("skillhost: " + dir.File(c.name) + c.error, 0), 0u) << errors;
        EXPECT_EQ(ReadFile(dir.File(c.name)), c.bytes) << c.name << " was written to";
        EXPECT_FALSE(std::filesystem::exists(dir.File(c.name) + "-wal")) << c.name;
    }
    EXPECT_EQ(Rate(dir.path, {logs.File("a.log")}, &errors), 1);
    EXPECT_EQ(errors, "skillhost: " + dir.path + " is not a file; it is left as it is\n");
    EXPECT_EQ(RunHost({"report", "--db", dir.File("none.db")}, &errors), 1);
    EXPECT_EQ(errors.rfind("skillhost: no database " + dir.File("none.db"), 0), 0u) << errors;
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.db")));
}

// A match as the server logs it: a first line with its match id, then the lines.
std::string ServerLog(const std::string& id, std::uint32_t seed, std::uint32_t firstKey,
                      int events) {
    return "# Tarnwick match 1 (" + id + ") on worlds/dunes, started 2026-03-01T20:00:00Z\n" +
           MatchLog(seed, firstKey, 10, events);
}

TEST_P(LastingRatingsTest, ALogIsRatedOnceWhateverIsDoneWithItsFile) {
    // Each log its own players, so that the order the follower meets them in changes nothing.
    TempDir logs, backup;
    const std::string shared = NewDatabase();
    HostProcess follower(Rating(shared, {"--follow", logs.path}));
    std::map<std::string, std::string> matches;  // every match written, by id
    const auto match = [&](const std::string& id, std::uint32_t seed) {
        return matches[id] = ServerLog(id, seed, 1000 * seed, 300);
    };
    // Every match written, each rated once.
    const auto expected = [&] {
        TempDir distinct;
        for (const auto& [id, text] : matches) distinct.Write(id + ".log", text);
        return RatedOnce(distinct.path);
    };
    const auto awaitExpected = [&](const std::string& what) {
        const std::uint64_t events = EventsStored(expected());
        EXPECT_EQ(AwaitEvents(shared, events, {&follower}), events) << what;
        return !::testing::Test::HasFailure();
    };
    for (const char log : {'a', 'b', 'c', 'd'}) {
        logs.Write(log + std::string(".log"), match(log + std::string("1"), log - 'a' + 1));
    }
    ASSERT_TRUE(awaitExpected("at first"));

    const auto rename = [&](const std::string& from, const std::string& to) {
        ASSERT_EQ(std::rename(logs.File(from).c_str(), to.c_str()), 0) << from;
    };
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"copied", [&] { logs.Write("a-copy.log", matches["a1"]); }},
        {"moved to a backup and restored under another name",
         [&] {
             rename("b.log", backup.File("b.log"));
             logs.Write("b-restored.log", ReadFile(backup.File("b.log")));
         }},
        {"replaced as rsync does, by a temporary file renamed over it",
         [&] {
             logs.Write(".c.log.Xa41f", matches["c1"]);
             rename(".c.log.Xa41f", logs.File("c.log"));
         }},
        {"truncated and written again with another match",
         [&] {
             std::ofstream(logs.File("d.log"), std::ios::trunc).flush();
             std::ofstream(logs.File("d.log"), std::ios::app) << match("d2", 5);
         }},
    };
    for (const auto& c : cases) {
        c.change();
        // A new log after the change, named to be read after it: once it is rated, so is
        // whatever the change made of the others.
        const auto n = static_cast<std::uint32_t>(&c - cases + 1);
        logs.Write("zz" + std::to_string(n) + ".log", match("e" + std::to_string(n), 10 + n));
        awaitExpected(c.what);
    }

    // Renamed while the server writes it: the lines after the rename are rated at once, while the
    // log is still busy, not when the follower next looks at every log.
    logs.Write("e.log", match("f1", 20));
    ASSERT_TRUE(awaitExpected("e.log"));
    rename("e.log", logs.File("e-renamed.log"));
    const std::uint64_t before = EventsStored(shared);
    int appended = 0;
    for (; appended < 100 && EventsStored(shared) == before; ++appended) {
        const std::string more = "event 19 rifle 20000 20001\n";
        std::ofstream(logs.File("e-renamed.log"), std::ios::app) << more;
        matches["f1"] += more;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_LT(appended, 100) << "the renamed log was not followed while it was written";

    const std::string reference = expected();
    ExpectCaughtUp(shared, reference, {&follower}, false);
    EXPECT_EQ(follower.Err().find("skillhost: " + logs.path), std::string::npos) << follower.Err();
    // Started again, and over every file at once: nothing is new.
    std::string errors;
    ASSERT_EQ(Rate(shared, {logs.path}, &errors), 0);
    EXPECT_EQ(errors, "skillhost: 0 events rated\n");
    EXPECT_EQ(Dump(shared, false), Dump(reference, false));
}

TEST_P(LastingRatingsTest, TwoFollowersWithOtherPluginsEachRateEveryEvent) {
    // The second follower rates brindle_skill only; neither may move the other's plug-ins on.
    TempDir logs;
    const std::string text = ServerLog("5a5a", 8, 1, 6000);
    const std::string shared = NewDatabase();
    HostProcess all(Rating(shared, {"--batch", "50", "--follow", logs.path}));
    HostProcess one({"--db", shared, "--batch", "50", "--follow", logs.path, "brindle_skill"});
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t next = text.find('\n', std::min(text.size(), at + 20000));
        const std::size_t end = next == std::string::npos ? text.size() : next + 1;
        std::ofstream(logs.File("match.log"), std::ios::app) << text.substr(at, end - at);
        at = end;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    logs.Write("reference.log.txt", text);
    ExpectCaughtUp(shared, RatedOnce(logs.File("reference.log.txt")), {&all, &one});
}

TEST_P(LastingRatingsTest, FactsArePerPlayerAndMatch) {
    // ash (red) kills birch twice, with two weapons, and cedar (red) once: a team kill; birch
    // kills itself. cedar leaves at 30 s; the log's clock ends at 100 s.
    TempDir logs;
    logs.Write("a.log",
               "# Tarnwick match 4 (c0ffee) on worlds/dunes, started 2026-03-01T20:00:00Z\n"
               "player 1 11 red ash\nplayer 2 12 blue birch\nat 10\nplayer 3 13 red cedar\n"
               "event 19 rifle 1 2\nat 20\nevent 19 knife 1 2\nevent 19 rifle 1 3\n"
               "event 30 rifle 1 3\nat 30\nleave 3\nevent 19 grenade 2 2\nat 100\n");
    logs.Write("b.log", "player 1 11 red ash\nplayer 2 12 blue birch\nevent 19 rifle 2 1\n");
    // The same, whether the lines come in one batch or one event at a time.
    for (const char* batch : {"65536", "1"}) {
        const std::string database = NewDatabase();
        ASSERT_EQ(Rate(database, {"--batch", batch, logs.path}), 0);
        const auto store = OpenRatingStore(database, StoreAccess::ReadOnly);
        const auto rows = [&](const char* sql) {
            std::string text;
            for (const auto& row : store->Select(sql)) {
                for (const Value& cell : row) {
                    const auto* word = std::get_if<std::string>(&cell);
                    const auto* number = std::get_if<std::int64_t>(&cell);
                    text += (word ? *word : number ? std::to_string(*number) : "-") + ' ';
                }
                text += '\n';
            }
            return text;
        };
        // Times are kept as Unix seconds: here from the match's start.
        EXPECT_EQ(rows("SELECT f.key, l.map, f.kills, f.deaths, f.team_kills, f.seconds, "
                       "f.first_seen - l.started, f.last_seen - l.started FROM skill_facts f "
                       "JOIN skill_logs l ON l.id = f.log_id ORDER BY l.id, f.key"),
                  "1 worlds/dunes 2 0 1 100 0 20 \n"
                  "2 worlds/dunes 0 3 0 100 0 30 \n"
                  "3 worlds/dunes 0 1 0 20 10 30 \n"
                  "1  0 1 0 0 - - \n"
                  "2  1 0 0 0 - - \n");
        EXPECT_EQ(rows("SELECT key, weapon, kills FROM skill_weapon_kills ORDER BY key, weapon"),
                  "1 knife 1 \n1 rifle 1 \n2 rifle 1 \n");
    }
}

TEST_P(LastingRatingsTest, AFollowerWaitsForItsDatabaseAndGoesOn) {
    const char* ctl = std::getenv("TARNWICK_TEST_POSTGRES_CTL");
    if (GetParam() != "postgresql" || ctl == nullptr) GTEST_SKIP() << "PostgreSQL only";
    TempDir logs;
    const std::string text = ServerLog("0ddba11", 9, 1, 4000);
    const std::size_t half = text.find('\n', text.size() / 2) + 1;
    logs.Write("match.log", text.substr(0, half));
    const std::string shared = NewDatabase();
    HostProcess follower(Rating(shared, {"--follow", logs.path}));
    ASSERT_TRUE(Await([&] { return EventsStored(shared) > 0; }));

    ASSERT_EQ(std::system((std::string(ctl) + " stop").c_str()), 0);
    std::ofstream(logs.File("match.log"), std::ios::app) << text.substr(half);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_EQ(std::system((std::string(ctl) + " start").c_str()), 0);

    logs.Write("reference.txt", text);
    ExpectCaughtUp(shared, RatedOnce(logs.File("reference.txt")), {&follower});
    const std::string said = follower.Err();
    EXPECT_NE(said.find("; trying again in 1 s\n"), std::string::npos) << said;
    EXPECT_NE(said.find("skillhost: the database is back; going on\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("\xef\xbf\xbd"), std::string::npos) << "one clean line per error: " << said;
}

TEST_P(LastingRatingsTest, ReadersWriteNothingAndARatingRunUpgradesAnOldDatabase) {
    if (GetParam() != "sqlite") GTEST_SKIP() << "file permissions and stored files are SQLite's";
    const std::string fresh = NewDatabase();
    TempDir logs;
    logs.Write("sample.log", ReadFile(SAMPLE "/sample.log"));
    ASSERT_EQ(Rate(fresh, {"--weapons", SAMPLE "/weapons.txt", logs.File("sample.log")}), 0);

    // A reader that may not write the database or its folder (a web server's user) reports it
    // and builds the site from it. As root, permissions bind only another user.
    const std::string site = dir.File("site");
    std::filesystem::create_directory(site);
    ASSERT_EQ(::chmod(site.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(fresh.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
    const std::string as = ::geteuid() == 0 ? "runuser -u nobody -- " SKILLHOST : SKILLHOST;
    const auto before = ReadFile(fresh);
    for (const std::string& command : {as + " report --format csv", as + " site --out " + site}) {
        const std::string run = command + " --db " + fresh + " >/dev/null 2>" + logs.File("err");
        EXPECT_EQ(std::system(run.c_str()), 0) << ReadFile(logs.File("err"));
    }
    EXPECT_TRUE(std::filesystem::exists(site + "/index.html"));
    EXPECT_EQ(ReadFile(fresh), before);
    ::chmod(dir.path.c_str(), 0755);
    ::chmod(fresh.c_str(), 0644);

    // One made by the first version from the sample log: its ratings stay, the log it rated is
    // not rated again, and from now on it keeps facts and positions per plug-in.
    const std::string old = dir.File("old.db");
    std::filesystem::copy_file(TEST_DATA "/ratings-v1.db", old);
    std::string errors;
    EXPECT_EQ(RunHost({"report", "--db", old}, &errors), 1);
    EXPECT_EQ(errors, "skillhost: " + old +
                          " holds skillhost data of version 1; a rating run "
                          "with --db upgrades it\n");
    ASSERT_EQ(Rate(old, {"--weapons", SAMPLE "/weapons.txt", logs.File("sample.log")}, &errors), 0);
    EXPECT_EQ(errors, "skillhost: 0 events rated\n");
    EXPECT_EQ(Dump(old), Dump(fresh));

    logs.Write("more.log", ServerLog("abc", 4, 1, 300));
    ASSERT_EQ(Rate(old, {logs.File("more.log")}), 0);
    ASSERT_EQ(Rate(fresh, {logs.File("more.log")}), 0);
    EXPECT_EQ(Dump(old), Dump(fresh));
}

INSTANTIATE_TEST_SUITE_P(SQLite, LastingRatingsTest, ::testing::Values("sqlite"));
INSTANTIATE_TEST_SUITE_P(PostgreSQL, LastingRatingsTest, ::testing::Values("postgresql"));

}  // namespace
