#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "EngineTestSupport.h"

class ConfigTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
    }
    static std::string FileText(const std::string& name) {
        std::stringstream text;
        text << std::ifstream(name, std::ios::binary).rdbuf();
        return text.str();
    }
    TempDirectory dir;
    std::string path = dir.File("server.cfg");
};

TEST_F(ConfigTest, FlaggedVariablesRoundTripExactly) {
    const char* names[] = {"servername", "adminname", "map1",     "playerkickvote",
                           "ffteam",     "tiny",      "negative", "map%d"};
    for (const char* line : {"+servername \"A \"quoted\" name  \"", "+adminname \" \"",
                             "+map1 \"12\"", "playerkickvote 0.600000", "ffteam 0.59999996",
                             "tiny 1e-7", "negative -3.7", "map%d 0.000000", "notflagged 7"})
        engine->ExecuteCommand(line);
    for (const char* name : names) ASSERT_EQ(engine->SetVariableFlags(name, 5), 1) << name;
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    const std::string written = FileText(path);
    ReleaseEngine();
    CreateEngine();
    ASSERT_EQ(engine->ReadConfig(path.c_str()), 1);
    EXPECT_EQ(ReadText("servername"), "A \"quoted\" name  ");
    EXPECT_EQ(ReadText("adminname"), " ");
    EXPECT_EQ(ReadText("map1"), "12");
    EXPECT_EQ(ReadNumber("ffteam"), 0.59999996f);
    EXPECT_EQ(ReadNumber("tiny"), 1e-7f);
    EXPECT_EQ(Handle("notflagged"), 0u);
    // Written again unchanged, the file is the same: nothing drifts through a round trip.
    for (const char* name : names) engine->SetVariableFlags(name, 5);
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    EXPECT_EQ(FileText(path), written);
}

TEST_F(ConfigTest, TheFileIsReplacedWholeWithModeOwnerOnly) {
    std::ofstream(path) << "old 1\n";
    ::chmod(path.c_str(), 0644);
    // A second name for the old file: an in-place rewrite would show through it.
    ASSERT_EQ(::link(path.c_str(), dir.File("old-link").c_str()), 0);
    engine->ExecuteCommand("+serverpassword \"secret\"");
    engine->SetVariableFlags("serverpassword", 5);
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(FileText(path).find("+serverpassword \"secret\""), std::string::npos);
    EXPECT_EQ(FileText(dir.File("old-link")), "old 1\n");
    auto entries = std::filesystem::directory_iterator(dir.path);
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 2) << "a temporary file was left";
    EXPECT_EQ(engine->WriteConfig(dir.File("no/such/dir/x.cfg").c_str(), 4), 0);
    EXPECT_TRUE(sink.Said("Cannot write"));
}

TEST_F(ConfigTest, NamesAreOneVariableWhateverTheirCaseAndTextReadsKeepToCapacity) {
    uint32_t flags = 0;
    engine->ExecuteCommand("nummaps 3\nNUMMAPS 5");
    EXPECT_EQ(Handle("nummaps"), Handle("NumMaps"));
    EXPECT_NE(Handle("nummaps"), 0u);
    EXPECT_EQ(ReadNumber("nummaps"), 5.0f);
    engine->ExecuteCommand("+SERVERNAME \"Upper\"\n+servername \"abcdefghij\"");
    EXPECT_EQ(ReadText("ServerName"), "abcdefghij");
    EXPECT_EQ(engine->SetVariableFlags("SERVERname", 5), 1);
    EXPECT_EQ(engine->GetVariableFlags("servername", &flags), 5);
    for (int32_t capacity : {0, 1, 2, 10, 11, 64}) {
        std::string buffer(80, '#');
        engine->ReadVariableText(Handle("servername"), buffer.data(), capacity);
        const std::string text =
            capacity ? std::string("abcdefghij", std::min(capacity - 1, 10)) + '\0' : "";
        EXPECT_EQ(buffer.substr(0, text.size()), text) << capacity;
        EXPECT_EQ(buffer.substr(capacity), std::string(80 - capacity, '#'))
            << "written past " << capacity;
    }
}
