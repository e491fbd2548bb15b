// The host end to end, in process: arguments in, ranking or error out.
#include "SkillHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <locale>
#include <map>
#include <regex>
#include <sstream>

namespace {

struct TempFile {
    explicit TempFile(const std::string& contents) {
        char name[] = "/tmp/skillhost-test-XXXXXX";
        if (const int fd = mkstemp(name); fd >= 0) close(fd);
        path = name;
        std::ofstream(path, std::ios::binary) << contents;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

struct Result {
    int status;
    std::string out, err;
};

Result RunHost(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = SkillHost(PLUGIN_DIR, [] { return -1; }).Run(arguments, out, err);
    return {status, out.str(), err.str()};
}

const std::string kPlayers =
    "player 1 101 red ash\nplayer 2 102 blue birch\nplayer 3 103 blue cedar\n";

class SkillHostTest : public ::testing::Test {
protected:
    TempFile log{kPlayers +
                 "event 19 sniper 1 2\nevent 19 rifle 3 2\nevent 30 rifle 3 1\nevent 15 - 1\n"};
    TempFile weapons{"sniper 2.0\n"};
    std::vector<std::string> Arguments(std::vector<std::string> options) const {
        options.insert(options.end(), {"--weapons", weapons.path, log.path, "brindle_skill",
                                       "quorvex_skill", "corvane_skill"});
        return options;
    }
};

TEST_F(SkillHostTest, RanksIdenticallyInTextCsvAndJson) {
    // ash killed birch with the sniper (weight 2); the weighted column shows the weight.
    const std::string csv =
        "plugin,rank,key,player,skill,weighted_skill\n"
        "brindle_skill,1,1,ash,1010,1010\n"
        "brindle_skill,2,3,cedar,1000,1000\n"
        "brindle_skill,3,2,birch,990,990\n"
        "quorvex_skill,1,1,ash,1004.95,1014.9\n"
        "quorvex_skill,2,3,cedar,1000,1000\n"
        "quorvex_skill,3,2,birch,990,990\n"
        "corvane_skill,1,1,ash,1005,1010\n"
        "corvane_skill,2,3,cedar,996,996\n"
        "corvane_skill,3,2,birch,995,990\n";
    const Result result = RunHost(Arguments({"--format", "csv"}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, csv);

    // The JSON's entries, written as CSV rows, are the same rows.
    const std::string json = RunHost(Arguments({"--format", "json"})).out;
    const std::regex item(
        "\"plugin\": \"([^\"]+)\"|\\{\"rank\": (\\d+), \"key\": (\\d+), \"player\": \"([^\"]+)\", "
        "\"skill\": ([-0-9.]+), \"weighted_skill\": ([-0-9.]+)\\}");
    std::string rows = "plugin,rank,key,player,skill,weighted_skill\n", plugin;
    for (std::sregex_iterator it(json.begin(), json.end(), item), end; it != end; ++it) {
        if ((*it)[1].matched) plugin = (*it)[1];
        if ((*it)[2].matched) rows += plugin + "," + (*it).format("$2,$3,$4,$5,$6") + "\n";
    }
    EXPECT_EQ(rows, csv) << json;

    EXPECT_EQ(RunHost(Arguments({"--format", "csv", "--use-alt-key", "1"})).out, csv);
    EXPECT_EQ(RunHost({log.path, "quorvex_skill@B"}).out, RunHost({log.path, "quorvex_skill"}).out);
}

TEST_F(SkillHostTest, AListingAgainMovesAPlayerToItsGroupForTheEventsAfterIt) {
    // birch joins ash's team between the two kills: the second is a team kill, which
    // brindle_skill leaves alone. A name runs to the end of its line, blanks inside kept.
    TempFile moves{
        "player 1 101 red  Ash \t Grove \r\nplayer 2 102 blue birch\nevent 19 rifle 1 2\n"
        "player 2 102 red Birch Tree\nevent 19 rifle 1 2\n"};
    const Result result = RunHost({"--format", "csv", moves.path, "brindle_skill"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "plugin,rank,key,player,skill,weighted_skill\n"
              "brindle_skill,1,1,Ash \\x09 Grove,1010,1010\n"
              "brindle_skill,2,2,Birch Tree,990,990\n");
}

TEST_F(SkillHostTest, BadInputIsNamedWithFileAndLineAndFails) {
    // '%' stands for the case's own file, '^' for the good log.
    const struct {
        std::string contents, error;
        std::vector<std::string> arguments = {"%", "brindle_skill"};
    } cases[] = {
        {"event 19 rifle 1 7", "%:4: unknown player 7"},
        {"event 19 rifle 1", "%:4: event 19 needs a second player"},
        {"event nineteen rifle 1 2", "%:4: not an event code: nineteen"},
        {"event 2147483648 rifle 1 2", "%:4: not an event code"},
        {"event 19 rifle 1 2 extra", "%:4: expected"},
        {"player 4294967296 104 red", "%:4: not a player key"},
        {"player 1 104 red", "%:4: player 1 listed again with another alternate key: 104"},
        {"player 4 101 red", "%:4: alternate key listed twice: 101"},
        {"player 4 104 " + std::string(4100, 'n'), "%:4: line longer than 4096 bytes"},
        {"kill 1 2", "%:4: unknown line kind \"kill\""},
        {"ki\x1bll\xff 1 2", "%:4: unknown line kind \"ki\xef\xbf\xbdll"},
        {"", "cannot open /nonexistent.log", {"/nonexistent.log", "brindle_skill"}},
        {"", "cannot open /missing.txt", {"--weapons", "/missing.txt", "^", "brindle_skill"}},
        {"rifle -1", "%:4: weight", {"--weapons", "%", "^", "brindle_skill"}},
        {"rifle 1,5", "%:4: weight", {"--weapons", "%", "^", "brindle_skill"}},
        {"rifle 1\nrifle 2", "%:5: weapon listed twice", {"--weapons", "%", "^", "brindle_skill"}},
        {"", "cannot load plug-in %: ", {"^", "brindle_skill", "%@A"}},
        {"", "cannot load plug-in " PLUGIN_DIR "/no_such_skill.so", {"^", "no_such_skill@B"}},
        {"",
         "plug-in " MISSING_EXPORT_PLUGIN " lacks the export skill_plugin_finish",
         {"^", MISSING_EXPORT_PLUGIN "@A"}},
    };
    for (const auto& c : cases) {
        // Three comment lines ahead of the weapons, the three players ahead of the events.
        TempFile file((c.contents.starts_with("rifle") ? "#\n#\n#\n" : kPlayers) + c.contents +
                      "\n");
        auto fill = [&](std::string text) {
            for (size_t at; (at = text.find_first_of("%^")) != std::string::npos;)
                text.replace(at, 1, text[at] == '%' ? file.path : log.path);
            return text;
        };
        std::vector<std::string> arguments;
        for (const std::string& argument : c.arguments) arguments.push_back(fill(argument));
        const Result result = RunHost(arguments);
        EXPECT_EQ(result.status, 1) << c.error;
        EXPECT_EQ(result.out, "") << c.error;
        EXPECT_EQ(result.err.rfind("skillhost: " + fill(c.error), 0), 0u) << result.err;
    }
}

TEST_F(SkillHostTest, BadArgumentsAreRefusedBeforeAnythingIsReadOrLoaded) {
    // The log does not exist: each of these must stop before it is opened.
    const std::string missing = "/nonexistent.log";
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{}, "a log and at least one plug-in"},
        {{log.path}, "a log and at least one plug-in"},
        {{"--format", "xml", missing, "brindle_skill"}, "unknown format: xml"},
        {{"--use-alt-key", "one", missing, "brindle_skill"}, "--use-alt-key needs a whole number"},
        {{missing, "brindle_skill", "--weapons"}, "--weapons needs a value"},
        {{missing, "quorvex_skill@A"}, "quorvex_skill is built for host layout B"},
        {{missing, "corvane_skill@B"}, "corvane_skill is built for host layout A"},
        {{missing, "/elsewhere/brindle_skill.so@B"}, "brindle_skill is built for host layout A"},
        {{missing, "brindle_skill@C"}, "unknown host layout \"@C\" in brindle_skill@C"},
        {{missing, "@A"}, "no plug-in file in @A"},
        {{missing, "/tmp/mystery_skill.so"}, "give the host layout mystery_skill was built for"},
    };
    for (const auto& c : cases) {
        const Result result = RunHost(c.arguments);
        EXPECT_EQ(result.status, 2) << c.error;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("skillhost: " + c.error, 0), 0u) << result.err;
        EXPECT_NE(result.err.find("usage: skillhost"), std::string::npos);
    }
    for (const char* help : {"--help", "-h"}) {
        const Result result = RunHost({missing, help, "brindle_skill@C"});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.rfind("usage: skillhost", 0), 0u) << result.out;
        EXPECT_EQ(result.err, "");
    }
}

// Copies of the project's plug-ins under other names, in a folder of their own.
struct PluginCopies {
    PluginCopies() { std::filesystem::create_directory(dir); }
    ~PluginCopies() { std::filesystem::remove_all(dir); }
    std::string Copy(const std::string& plugin, const std::string& as) const {
        std::filesystem::copy_file(std::string(PLUGIN_DIR) + "/" + plugin + ".so",
                                   dir / (as + ".so"));
        return dir / (as + ".so");
    }
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("skillhost-plugins-" + std::to_string(getpid()));
};

TEST_F(SkillHostTest, AnUnknownPluginRunsInTheLayoutGivenAndTheOtherOneReadsOnlyZeros) {
    PluginCopies copies;
    const std::string mystery = copies.Copy("quorvex_skill", "mystery_skill");
    const std::string rows = RunHost({"--format", "csv", log.path, "quorvex_skill"}).out;
    const Result right = RunHost({"--format", "csv", log.path, mystery + "@B"});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(std::regex_replace(right.out, std::regex("mystery_skill"), "quorvex_skill"), rows);

    // Run with layout A, the plug-in looks for use_alt_key and the weapon past the end of a
    // layout A record. The host's records reach that far and hold zeros there: use_alt_key reads
    // 0, so with the table keyed by alternate keys the decayed player is not found. (A kill would
    // make it follow a null weapon pointer.)
    TempFile decay{kPlayers + "event 15 - 1\n"};
    for (const auto& [useAltKey, ash] :
         {std::pair{"0", ",3,1,ash,995,995"}, std::pair{"1", ",1,1,ash,1000,1000"}}) {
        const Result wrong =
            RunHost({"--format", "csv", "--use-alt-key", useAltKey, decay.path, mystery + "@A"});
        EXPECT_EQ(wrong.status, 0) << wrong.err;
        EXPECT_NE(wrong.out.find(ash), std::string::npos) << wrong.out;
    }
}

// The output parsed by a strict JSON parser; answers the plug-in and player names it decoded, in
// order, as an ASCII JSON array.
std::string StrictJsonNames(const std::string& json) {
    TempFile file(json);
    const std::string command =
        "python3 -c 'import json, sys\n"
        "def refuse(constant): raise ValueError(constant)\n"
        "document = json.loads(sys.stdin.buffer.read().decode(\"utf-8\"), parse_constant=refuse)\n"
        "names = [p[\"plugin\"] for p in document[\"plugins\"]]\n"
        "names += [r[\"player\"] for p in document[\"plugins\"] for r in p[\"ranking\"]]\n"
        "print(json.dumps(names))' < " +
        file.path + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run python3";
    std::string answer;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) answer += buffer;
    return pclose(pipe) == 0 ? answer : "python3 failed: " + answer;
}

TEST_F(SkillHostTest, NamesAreWrittenAsUtf8AndQuotedForEachFormat) {
    PluginCopies copies;
    const std::string plugin = copies.Copy("brindle_skill", "tab\t\"q\"\\\xe9") + "@A";
    TempFile names{
        "player 1 1 g Jos\xe9\n"      // a Latin-1 byte
        "player 2 2 g Jos\xc3\xa9\n"  // the same name in UTF-8
        "player 3 3 g say\"hi\",back\\slash\n"
        "player 4 4 g bell\x07\x1b[2J\n"};

    const Result json = RunHost({"--format", "json", names.path, plugin});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(StrictJsonNames(json.out),
              "[\"tab\\t\\\"q\\\"\\\\\\u00e9\", \"Jos\\u00e9\", \"Jos\\u00e9\", "
              "\"say\\\"hi\\\",back\\\\slash\", \"bell\\u0007\\u001b[2J\"]\n");

    // In CSV, control bytes show as \xNN, and a cell a spreadsheet would run as a formula
    // starts with a quote.
    const std::string quotedPlugin = "\"tab\\x09\"\"q\"\"\\\xc3\xa9\"";
    EXPECT_EQ(RunHost({"--format", "csv", names.path, plugin}).out,
              "plugin,rank,key,player,skill,weighted_skill\n" + quotedPlugin +
                  ",1,1,Jos\xc3\xa9,1000,1000\n" + quotedPlugin + ",2,2,Jos\xc3\xa9,1000,1000\n" +
                  quotedPlugin + ",3,3,\"say\"\"hi\"\",back\\slash\",1000,1000\n" + quotedPlugin +
                  ",4,4,bell\\x07\\x1B[2J,1000,1000\n");
    TempFile formulas{
        "player 1 1 g =HYPERLINK(\"http://example.invalid\",\"x\")\nplayer 2 2 g -2+3\n"
        "player 3 3 g @SUM(A1)\nplayer 4 4 g +1\nplayer 5 5 g a=b\n"};
    EXPECT_EQ(RunHost({"--format", "csv", formulas.path, "brindle_skill"}).out,
              "plugin,rank,key,player,skill,weighted_skill\n"
              "brindle_skill,1,1,\"'=HYPERLINK(\"\"http://example.invalid\"\",\"\"x\"\")\",1000,"
              "1000\n"
              "brindle_skill,2,2,'-2+3,1000,1000\n"
              "brindle_skill,3,3,'@SUM(A1),1000,1000\n"
              "brindle_skill,4,4,'+1,1000,1000\n"
              "brindle_skill,5,5,a=b,1000,1000\n");

    // The terminal table shows no control character raw, and pads by characters, not bytes.
    const std::string bad = "\xef\xbf\xbd";  // U+FFFD
    EXPECT_EQ(RunHost({names.path, plugin}).out,
              "rank  tab" + bad + "\"q\"\\\xc3\xa9           skill  weighted\n" +
                  "   1  Jos\xc3\xa9                 1000      1000\n"
                  "   2  Jos\xc3\xa9                 1000      1000\n"
                  "   3  say\"hi\",back\\slash   1000      1000\n"
                  "   4  bell" +
                  bad + bad + "[2J            1000      1000\n");
}

TEST_F(SkillHostTest, NumbersReadAndWriteTheSameUnderACommaLocale) {
    // Keys past a thousand, a fractional weight and fractional ratings, in every format.
    TempFile large{
        "player 1000 1 red ash\nplayer 4000000000 2 blue birch\n"
        "event 19 sniper 1000 4000000000\nevent 15 - 1000\n"};
    TempFile fractional{"sniper 1.5\n"};
    const auto rank = [&](const char* format) {
        return RunHost(
                   {"--format", format, "--weapons", fractional.path, large.path, "quorvex_skill"})
            .out;
    };
    std::map<std::string, std::string> inC;
    for (const char* format : {"text", "csv", "json"}) inC[format] = rank(format);
    ASSERT_NE(inC["csv"].find("quorvex_skill,1,1000,ash,1004.95,1009.925"), std::string::npos)
        << inC["csv"];

    // The whole process, C and C++ alike, until the end of the test.
    struct BackToC {
        ~BackToC() { std::locale::global(std::locale::classic()); }
    } backToC;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        if (std::system("locale -a | grep -qx de_DE.utf8") != 0) {
            GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (the locales-all package)";
        }
        FAIL() << "locale -a lists de_DE.utf8 but setlocale refuses it";
    }
    std::locale::global(std::locale("de_DE.UTF-8"));
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the comma locale is not in effect";

    for (const auto& [format, ranking] : inC) EXPECT_EQ(rank(format.c_str()), ranking) << format;
}

}  // namespace
