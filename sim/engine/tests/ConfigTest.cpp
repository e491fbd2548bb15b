#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "EngineTestSupport.h"

class ConfigTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
    }
    static std::string FileText(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    TempDirectory dir;
    std::string path = dir.File("server.cfg");
};

// To the bit, and a name in any case is the one variable.
TEST_F(ConfigTest, FlaggedVariablesRoundTripExactly) {
    for (const char* line : {"+SERVERNAME \"Upper\"", "+servername \"A \"quoted\" name  \"",
                             "+adminname \" \"", "+map1 \"12\"", "ffteam 0.59999996", "tiny 1e-7",
                             "negative -3.7", "map%d 0.000000", "notflagged 7"})
        engine->ExecuteCommand(line);
    const char* names[] = {"SERVERname", "adminname", "map1", "ffteam",
                           "tiny",       "negative",  "map%d"};
    for (const char* name : names) ASSERT_EQ(engine->SetVariableFlags(name, 5), 1) << name;
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    const std::string written = FileText(path);
    ReleaseEngine();
    CreateEngine();
    ASSERT_EQ(engine->ReadConfig(path.c_str()), 1);
    EXPECT_EQ(ReadText("ServerName"), "A \"quoted\" name  ");
    EXPECT_EQ(ReadText("adminname"), " ");
    EXPECT_EQ(ReadNumber("ffteam"), 0.59999996f);
    EXPECT_EQ(ReadNumber("tiny"), 1e-7f);
    EXPECT_EQ(Handle("notflagged"), 0u);
    for (const char* name : names) engine->SetVariableFlags(name, 5);
    ASSERT_EQ(engine->WriteConfig(path.c_str(), 4), 1);
    EXPECT_EQ(FileText(path), written) << "a second round trip changes nothing";
}

TEST_F(ConfigTest, TheFileIsReplacedWholeWithModeOwnerOnly) {
    std::ofstream(path) << "old 1\n";
    ::chmod(path.c_str(), 0644);
    ASSERT_EQ(::link(path.c_str(), dir.File("old-link").c_str()), 0);  // shows in-place rewrites
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

TEST_F(ConfigTest, TextReadsStayInsideTheCapacityTheyAreGiven) {
    engine->ExecuteCommand("+long \"0123456789\"");
    for (int capacity : {1, 2, 10, 11}) {
        std::string buffer(16, '#');
        engine->ReadVariableText(Handle("long"), buffer.data(), capacity);
        EXPECT_EQ(buffer.substr(0, static_cast<size_t>(capacity) - 1),
                  std::string("0123456789", capacity - 1));
        EXPECT_EQ(buffer[static_cast<size_t>(capacity) - 1], '\0');
        EXPECT_EQ(buffer.substr(static_cast<size_t>(capacity)), std::string(16 - capacity, '#'));
    }
}
