#include <fstream>
#include <regex>
#include <set>

#include "EngineTestSupport.h"

// The engine writes its event log under the current directory: each test runs in a fresh one.
class EventLogTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        home = std::filesystem::current_path();
        std::filesystem::current_path(dir.path);
        std::filesystem::create_directory("worlds");
        std::ofstream("worlds/b.dat");  // changemap plays a world from its file
        SetControl("TARNWICK_SIM_BOTS", "10");
        CreateEngine();
        StartGame();
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (!home.empty()) std::filesystem::current_path(home);
    }
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) engine->Tick(0);
    }
    std::vector<std::filesystem::path> Files() const {
        std::vector<std::filesystem::path> files;
        std::error_code missing;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path / logs, missing))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    static std::vector<std::string> Lines(const std::filesystem::path& file) {
        std::vector<std::string> lines;
        for (std::ifstream in(file); std::getline(in, lines.emplace_back());) {
        }
        return lines.pop_back(), lines;
    }
    struct Tally {
        int crossKills = 0, teamKills = 0, penalties = 0, decays = 0, leaves = 0;
        long keys = 0;
        unsigned long clock = 0;  // the last "at" line
        std::set<std::string> weapons;
    };
    // A kill is a team kill when both players were last listed on the same team.
    static Tally Count(const std::filesystem::path& file) {
        Tally tally;
        std::map<std::string, std::string> teams;
        const std::regex player(R"(player (\d+) (\d+) (107[0-3]) (.+))");
        const std::regex event(R"(event (19|30|15) ([a-z]+|-) (\d+)(?: (\d+))?)");
        for (const std::string& line : Lines(file)) {
            std::smatch m;
            if (line.starts_with("#")) continue;
            if (std::regex_match(line, m, player)) {
                teams[m[1]] = m[3];
                continue;
            }
            if (line.starts_with("at ")) {
                EXPECT_GT(std::stoul(line.substr(3)), tally.clock) << "the clock only goes on";
                tally.clock = std::stoul(line.substr(3));
                continue;
            }
            if (line.starts_with("leave ")) {
                EXPECT_TRUE(teams.contains(line.substr(6))) << line;
                ++tally.leaves;
                continue;
            }
            EXPECT_TRUE(std::regex_match(line, m, event)) << line;
            EXPECT_TRUE(teams.contains(m[3]) && (!m[4].matched || teams.contains(m[4])))
                << "players are listed before the events that name them: " << line;
            if (m[1] == "15") ++tally.decays;
            if (m[1] == "30") ++tally.penalties;
            if (m[1] == "19") ++(teams[m[3]] == teams[m[4]] ? tally.teamKills : tally.crossKills);
            if (m[1] != "15") tally.weapons.insert(m[2]);
        }
        tally.keys = static_cast<long>(teams.size());
        return tally;
    }

    TempDirectory dir;
    std::filesystem::path home;
    const std::string logs = "tarnwick/logs";
};

TEST_F(EventLogTest, WrittenOnlyWhileLogeventsIsOneWithOneFilePerMatch) {
    Ticks(2000);
    EXPECT_TRUE(Files().empty()) << "logevents unset means off";
    engine->ExecuteCommand("logevents 2");
    Ticks(2000);
    EXPECT_TRUE(Files().empty()) << "only 1 switches it on";

    engine->ExecuteCommand("logevents 1");
    Ticks(3000);
    ASSERT_EQ(Files().size(), 1u);
    const auto first = Files()[0];
    const auto lines = Lines(first);
    ASSERT_GE(lines.size(), 12u);
    EXPECT_TRUE(lines[0].starts_with("# Tarnwick match 1 (")) << lines[0];
    EXPECT_NE(lines[0].find("on worlds/antarctica, started "), std::string::npos) << lines[0];
    EXPECT_TRUE(
        std::regex_match(first.filename().string(), std::regex(R"(match-\d{8}-\d{6}-\d{3}\.log)")))
        << first;
    EXPECT_EQ(std::filesystem::status(first).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));

    engine->ExecuteCommand("logevents 0");
    const auto size = std::filesystem::file_size(first);
    Ticks(3000);
    EXPECT_EQ(std::filesystem::file_size(first), size) << "nothing is written while off";
    engine->ExecuteCommand("logevents 1");
    Ticks(100);
    EXPECT_GT(std::filesystem::file_size(first), size) << "the same match goes on in its file";

    // Every world started is a match of its own; the players are listed at the top of its file.
    engine->ExecuteCommand("map0 worlds/b\nnummaps 1\nchangemap 0");
    Ticks(1);
    StartGame("worlds/c");
    Ticks(1);
    const auto files = Files();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], first) << "names sort in the order the matches started";
    EXPECT_NE(Lines(files[1])[0].find(" on worlds/b, "), std::string::npos);
    const auto third = Lines(files[2]);
    EXPECT_NE(third[0].find(" on worlds/c, "), std::string::npos);
    EXPECT_EQ(std::count_if(third.begin(), third.end(),
                            [](const std::string& line) { return line.starts_with("player "); }),
              static_cast<long>(Roster().players.size()));
}

TEST_F(EventLogTest, KillsPenaltiesAndDecaysFollowTheSettingsAndSkillhostReadsThem) {
    // Twenty minutes each: the defaults, then no punishment, then no friendly fire either.
    engine->ExecuteCommand("logevents 1");
    Ticks(20 * 60 * 30);
    engine->ExecuteCommand("tkpunish 0\nmap0 worlds/b\nnummaps 1\nchangemap 0");
    Ticks(20 * 60 * 30);
    engine->ExecuteCommand("ffteam 0\nchangemap 0");
    Ticks(20 * 60 * 30);
    const auto files = Files();
    ASSERT_EQ(files.size(), 3u);
    const Tally tally = Count(files[0]), unpunished = Count(files[1]),
                noFriendlyFire = Count(files[2]);
    // Ten players, eight or so fighting at a kill each every 20 s, one in 25 on their own side.
    EXPECT_GT(tally.crossKills, 300);
    EXPECT_LT(tally.crossKills, 800);
    EXPECT_GT(tally.teamKills, 2);
    EXPECT_LT(tally.teamKills, tally.crossKills / 8);
    EXPECT_EQ(tally.penalties, tally.teamKills) << "tkpunish defaults on";
    EXPECT_GE(tally.decays, 9 * 5) << "a decay per fighting player every two-minute round";
    EXPECT_NEAR(tally.clock, 1188, 2) << "36 000 updates of 33 ms";
    EXPECT_GT(tally.leaves, 0);
    EXPECT_EQ(tally.weapons,
              (std::set<std::string>{"grenade", "knife", "rifle", "shotgun", "sniper"}));
    EXPECT_GT(unpunished.teamKills, 2);
    EXPECT_EQ(unpunished.penalties, 0);
    EXPECT_GT(noFriendlyFire.crossKills, 300);
    EXPECT_EQ(noFriendlyFire.teamKills + noFriendlyFire.penalties, 0);

    const std::string command = std::string(SKILLHOST) + " --format csv " + files[0].string() +
                                " brindle_skill quorvex_skill corvane_skill 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    for (char buffer[4096]; std::fgets(buffer, sizeof buffer, pipe) != nullptr;) output += buffer;
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1 + 3 * tally.keys) << output;
}
