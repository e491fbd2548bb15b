#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "EngineTestSupport.h"

class ConfigTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
        path = dir.File("server.cfg");
    }
    void Flag(const char* name) { ASSERT_EQ(engine->SetVariableFlags(name, 5), 1) << name; }
    std::string FileText() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteFile(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    TempDirectory dir;
    std::string path;
};

TEST_F(ConfigTest, FlaggedVariablesRoundTripExactly) {
    const char* lines[] = {"+servername \"A \"quoted\" name  \"",
                           "+adminname \" \"",
                           "playerkickvote 0.600000",
                           "ffteam 0.59999996",
                           "custombandwidth 32000",
                           "tiny 1e-7",
                           "negative -3.7",
                           "map0 worlds/antarctica",
                           "+map1 \"12\"",
                           "map%d 0.000000",
                           "NumMaps 2"};
    for (const char* line : lines) engine->ExecuteCommand(line);
    for (const char* name :
         {"servername", "adminname", "playerkickvote", "ffteam", "custombandwidth", "tiny",
          "negative", "map0", "map1", "map%d", "nummaps"}) {
        Flag(name);
    }
    engine->ExecuteCommand("notflagged 7");
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    EXPECT_EQ(FileText().find("notflagged"), std::string::npos);

    ReleaseEngine();
    CreateEngine();
    ASSERT_EQ(engine->ReadConfig(path.c_str()), 1);
    EXPECT_EQ(ReadText("servername"), "A \"quoted\" name  ");
    EXPECT_EQ(ReadText("adminname"), " ");
    EXPECT_EQ(ReadNumber("playerkickvote"), 0.6f);
    EXPECT_EQ(ReadNumber("ffteam"), 0.59999996f);
    EXPECT_EQ(ReadNumber("custombandwidth"), 32000.0f);
    EXPECT_EQ(ReadNumber("tiny"), 1e-7f);
    EXPECT_EQ(ReadNumber("negative"), -3.7f);
    EXPECT_EQ(ReadText("map0"), "worlds/antarctica");
    EXPECT_EQ(ReadText("map1"), "12");
    EXPECT_EQ(ReadNumber("NumMaps"), 2.0f);
    uint32_t handle = 0;
    EXPECT_EQ(engine->FindVariable("notflagged", &handle, 0), 0);

    // Written again unchanged, the file is the same: nothing drifts through a round trip.
    const std::string first = FileText();
    for (const char* name :
         {"servername", "adminname", "playerkickvote", "ffteam", "custombandwidth", "tiny",
          "negative", "map0", "map1", "map%d", "nummaps"}) {
        Flag(name);
    }
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    EXPECT_EQ(FileText(), first);
}

TEST_F(ConfigTest, TheFileIsReplacedWholeWithModeOwnerOnly) {
    WriteFile("old 1\n");
    ::chmod(path.c_str(), 0644);
    // A second name for the old file: an in-place rewrite would show through it.
    const std::string oldName = dir.File("old-link");
    ASSERT_EQ(::link(path.c_str(), oldName.c_str()), 0);
    engine->ExecuteCommand("+serverpassword \"secret\"");
    Flag("serverpassword");
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(FileText().find("+serverpassword \"secret\""), std::string::npos);
    std::ifstream old(oldName);
    std::string oldText((std::istreambuf_iterator<char>(old)), {});
    EXPECT_EQ(oldText, "old 1\n");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2) << "a temporary file was left behind";
}

TEST_F(ConfigTest, AFailedWriteLeavesTheOldFileAndReportsFailure) {
    const std::string missing = dir.File("no/such/dir/server.cfg");
    EXPECT_EQ(engine->WriteConfig(missing.c_str(), 4), 0);
    EXPECT_TRUE(sink.SaidSomethingContaining("Cannot write"));
    EXPECT_EQ(engine->WriteConfig(nullptr, 4), 0);
}

TEST_F(ConfigTest, MissingFileKeepsTheDefaults) {
    engine->ExecuteCommand("timelimit 30");
    const std::string missing = dir.File("absent.cfg");
    EXPECT_EQ(engine->ReadConfig(missing.c_str()), 0);
    EXPECT_EQ(ReadNumber("timelimit"), 30.0f);
    EXPECT_EQ(engine->ReadConfig(nullptr), 0);
    EXPECT_EQ(engine->ReadConfig(dir.Path().c_str()), 1) << "a directory reads as empty";
}

TEST_F(ConfigTest, GarbageLinesAreSkippedAndGoodOnesStillApply) {
    std::string garbage = "timelimit 12.9\r\n";
    garbage += std::string(5000, 'x') + "\n";    // over-long line
    garbage += "+servername \"unterminated\n";   // missing quote
    garbage += std::string("bin\0ary 5\n", 10);  // zero byte cuts the line
    garbage += "\xff\xfe\x01\x02 \x80\n";        // binary bytes
    garbage += "// a comment\n\n   \t\n";
    garbage += "maxplayers 20";  // no final line break
    WriteFile(garbage);
    EXPECT_EQ(engine->ReadConfig(path.c_str()), 1);
    EXPECT_FLOAT_EQ(ReadNumber("timelimit"), 12.9f);
    EXPECT_EQ(ReadText("servername"), "unterminated");
    EXPECT_EQ(ReadNumber("maxplayers"), 20.0f);
    EXPECT_TRUE(sink.SaidSomethingContaining(":2: line too long"));
}
