// The host end to end, in process: arguments in, ranking or error out.
#include "SkillHost.h"
#include "TempFile.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

struct Row {
    std::string plugin;
    int rank;
    std::string player;
    std::string skill;
    std::string weighted;
    bool operator==(const Row&) const = default;
};

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunHost(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int status = SkillHost(PLUGIN_DIR).Run(arguments, out, err);
    return {status, out.str(), err.str()};
}

std::vector<Row> FromText(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::istringstream header(line);
    std::vector<std::string> plugins;
    std::string word;
    header >> word;  // "rank"
    while (header >> word) {
        plugins.push_back(word);
        header >> word >> word;
    }
    std::vector<Row> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int rank = 0;
        fields >> rank;
        for (const std::string& plugin : plugins) {
            Row row{plugin, rank, "", "", ""};
            fields >> row.player >> row.skill >> row.weighted;
            rows.push_back(row);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        return std::find(plugins.begin(), plugins.end(), a.plugin) <
               std::find(plugins.begin(), plugins.end(), b.plugin);
    });
    return rows;
}

std::vector<Row> FromCsv(const std::string& text) {
    std::vector<Row> rows;
    const std::regex line("([^,\n]+),(\\d+),\\d+,([^,\n]+),([^,\n]+),([^,\n]+)\n");
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        rows.push_back({(*it)[1], std::stoi((*it)[2]), (*it)[3], (*it)[4], (*it)[5]});
    }
    return rows;
}

std::vector<Row> FromJson(const std::string& text) {
    std::vector<Row> rows;
    const std::regex item(
        "\"plugin\": \"([^\"]+)\"|\\{\"rank\": (\\d+), \"key\": \\d+, \"player\": \"([^\"]+)\", "
        "\"skill\": ([-0-9.]+), \"weighted_skill\": ([-0-9.]+)\\}");
    std::string plugin;
    for (std::sregex_iterator it(text.begin(), text.end(), item), end; it != end; ++it) {
        if ((*it)[1].matched) {
            plugin = (*it)[1];
        } else {
            rows.push_back({plugin, std::stoi((*it)[2]), (*it)[3], (*it)[4], (*it)[5]});
        }
    }
    return rows;
}

const char* const kLog =
    "player 1 101 red ash\nplayer 2 102 blue birch\nplayer 3 103 blue cedar\n"
    "event 19 sniper 1 2\nevent 19 rifle 3 2\nevent 30 rifle 3 1\nevent 15 - 1\n";

class SkillHostTest : public ::testing::Test {
protected:
    TempFile log{kLog};
    TempFile weapons{"sniper 2.0\n"};

    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments{"--weapons", weapons.path};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.insert(arguments.end(),
                         {log.path, "brindle_skill", "quorvex_skill", "corvane_skill"});
        return arguments;
    }
};

TEST_F(SkillHostTest, RanksIdenticallyInTextCsvAndJson) {
    const Result text = RunHost(Arguments({}));
    const Result csv = RunHost(Arguments({"--format", "csv"}));
    const Result json = RunHost(Arguments({"--format", "json"}));
    for (const Result* result : {&text, &csv, &json}) {
        EXPECT_EQ(result->status, 0);
        EXPECT_EQ(result->err, "");
    }
    const std::vector<Row> rows = FromText(text.out);
    ASSERT_EQ(rows.size(), 9u) << text.out;
    EXPECT_EQ(FromCsv(csv.out), rows) << csv.out;
    EXPECT_EQ(FromJson(json.out), rows) << json.out;

    // ash killed birch with the sniper (weight 2): brindle first, quorvex ranks by skill.
    EXPECT_EQ(rows[0], (Row{"brindle_skill", 1, "ash", "1010.000000", "1010.000000"}));
    EXPECT_EQ(rows[3].plugin, "quorvex_skill");
    // quorvex: ash 1000 + 10 (kill), then decayed by 0.5 per cent; weighted +20 then decayed.
    const Row ash{"quorvex_skill", 1, "ash", "1004.950000", "1014.900000"};
    EXPECT_EQ(rows[3], ash);
    EXPECT_EQ(rows[6], (Row{"corvane_skill", 1, "ash", "1005.000000", "1010.000000"}));
}

TEST_F(SkillHostTest, AlternateKeysRankTheSame) {
    const Result plain = RunHost(Arguments({"--use-alt-key", "0"}));
    const Result alt = RunHost(Arguments({"--use-alt-key", "1"}));
    EXPECT_EQ(alt.status, 0);
    EXPECT_EQ(alt.out, plain.out);
    EXPECT_EQ(alt.err, "");
}

TEST_F(SkillHostTest, LayoutCanBeForced) {
    // The suffix names the layout; without it quorvex_skill is known to be layout B.
    const Result forced = RunHost({log.path, "quorvex_skill@B"});
    const Result named = RunHost({log.path, "quorvex_skill"});
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.out, named.out);
}

TEST_F(SkillHostTest, BadInputIsNamedAndFails) {
    TempFile unknownPlayer("player 1 1 red\nevent 19 rifle 1 7\n");
    TempFile malformed("player 1 1 red\nplayer 2 2 red\n\nevent nineteen rifle 1 2\n");
    TempFile badWeapons("rifle -1\n");
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{unknownPlayer.path, "brindle_skill"}, unknownPlayer.path + ":2: unknown player 7"},
        {{malformed.path, "brindle_skill"}, malformed.path + ":4: not an event code: nineteen"},
        {{"/nonexistent.log", "brindle_skill"}, "cannot open /nonexistent.log"},
        {{"--weapons", "/nonexistent.txt", log.path, "brindle_skill"},
         "cannot open /nonexistent.txt"},
        {{"--weapons", badWeapons.path, log.path, "brindle_skill"}, badWeapons.path + ":1: weight"},
        {{log.path, "brindle_skill", log.path}, "cannot load plug-in " + log.path + ": "},
        {{log.path, "no_such_skill"}, "cannot load plug-in " PLUGIN_DIR "/no_such_skill.so"},
        {{log.path, MISSING_EXPORT_PLUGIN},
         "plug-in " MISSING_EXPORT_PLUGIN " lacks the export skill_plugin_finish"},
    };
    for (const auto& c : cases) {
        const Result result = RunHost(c.arguments);
        EXPECT_EQ(result.status, 1) << c.error;
        EXPECT_EQ(result.out, "") << c.error;  // nothing half printed
        EXPECT_EQ(result.err.rfind("skillhost: " + c.error, 0), 0u) << result.err;
    }
}

TEST_F(SkillHostTest, BadArgumentsShowUsage) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {log.path},
                                               {"--format", "xml", log.path, "brindle_skill"},
                                               {"--use-alt-key", "one", log.path, "brindle_skill"},
                                               {"--frobnicate"},
                                               {log.path, "brindle_skill", "--weapons"}}) {
        const Result result = RunHost(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("usage: skillhost"), std::string::npos);
    }
}

}  // namespace
