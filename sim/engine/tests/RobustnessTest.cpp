#include <fstream>

#include "EngineTestSupport.h"

TEST_F(EngineTest, BadInputIsRefusedAndTheEngineCarriesOn) {
    SetControl("TARNWICK_SIM_BOTS", "0");  // no player messages but the ones the cases cause
    TempDirectory install;
    const WorkingDirectory inInstall(install.path);
    std::filesystem::create_directory("worlds");
    std::ofstream("worlds/B.DAT");  // the world list shows it as worlds/b
    CreateEngine();
    engine->ExecuteCommand("map0 worlds/antarctica\nmap1 worlds/b\nmap3 worlds/d\nnummaps 2");
    EXPECT_EQ(engine->ExecuteCommand("changemap 1"), 0) << "no server runs yet";
    StartGame();
    std::string bytes;
    for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
    const struct {
        std::vector<std::string> lines;
        int32_t result;  // -1: any
        const char* said;
    } cases[] = {
        {{"+adminname \"" + std::string(100000, 'a') + "\""}, 0, "too long"},
        {{std::string(5000, 'n') + " 1"}, 0, "too long"},
        {{bytes, "+\"", "+", "\"\"\"", "say \"", "say \x01\x02\x7f\xff"}, -1, nullptr},
        {{"bogus"}, 0, "Unknown command"},
        {{"sim_bots many", "sim_bots 257", "sendbandwidth -4"}, 0, nullptr},
        {{"sim_slow", "sim_slow 5", "sim_slow 0 3", "sim_slow 1001 1", "sim_slow 5 x"}, 0, "Usage"},
        {{"changemap 1"}, 1, "worlds/b"},
        {{"+servername \"" + std::string(300, 'v') + "!\""}, 1, nullptr},
        {{"servername"}, 1, "v!\""},  // a value is shown whole
        {{"changemap 2", "changemap 3", "changemap -1", "changemap x", "changemap"}, 0, nullptr},
        {{"changemap 2147483648", "changemap 99999999999999999999"}, 0, nullptr},
    };
    for (const auto& c : cases)
        for (const std::string& line : c.lines) {
            sink.Clear();
            const int32_t result = engine->ExecuteCommand(line.c_str());
            EXPECT_TRUE(c.result < 0 || result == c.result) << line.substr(0, 40) << ": " << result;
            EXPECT_TRUE(!c.said || sink.Said(c.said)) << line.substr(0, 40);
            ExpectConsoleLinesOnly();
        }
    // A world whose file is gone is refused, and the server stays where it is.
    engine->ExecuteCommand("map2 worlds/gone\nnummaps 3");
    sink.Clear();
    EXPECT_EQ(engine->ExecuteCommand("changemap 2"), 0);
    EXPECT_TRUE(sink.Said("no world file for \"worlds/gone\", staying on \"worlds/b\""));
    EXPECT_EQ(engine->ExecuteCommand("nummaps 2"), 1);
    EXPECT_EQ(Handle("adminname", 5), 0u) << "an over-long line is refused";

    TempDirectory dir;
    std::ofstream(dir.File("garbage.cfg"), std::ios::binary)  // over-long line, zero byte, binary
        << "timelimit 12.9\r\n" + std::string(5000, 'x') + "\n+servername \"unterminated\n" +
               std::string("bin\0ary 5\n\xff\xfe\x01\x02 \x80\n// note\n\n \t\nmaxplayers 20", 42);
    EXPECT_EQ(engine->ReadConfig(dir.File("garbage.cfg").c_str()), 1);
    EXPECT_TRUE(sink.Said(":2: line too long"));
    EXPECT_EQ(engine->ReadConfig(dir.File("absent.cfg").c_str()), 0);
    EXPECT_FLOAT_EQ(ReadNumber("timelimit"), 12.9f);
    EXPECT_EQ(ReadText("servername"), "unterminated");
    EXPECT_EQ(ReadNumber("maxplayers"), 20.0f);
}
