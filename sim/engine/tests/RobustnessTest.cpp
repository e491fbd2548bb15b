#include "EngineTestSupport.h"

class RobustnessTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
    }
};

TEST_F(RobustnessTest, OverLongLinesAreRefusedWhole) {
    std::string line = "+servername \"" + std::string(100000, 'a') + "\"";
    EXPECT_EQ(engine->ExecuteCommand(line.c_str()), 0);
    EXPECT_TRUE(sink.SaidSomethingContaining("too long"));
    uint32_t handle = 0;
    EXPECT_EQ(engine->FindVariable("servername", &handle, 0), 0);
    std::string longName(5000, 'n');
    EXPECT_EQ(engine->ExecuteCommand((longName + " 1").c_str()), 0);
}

TEST_F(RobustnessTest, BinaryBytesAndBrokenQuotesNeverBreakTheConsole) {
    std::string bytes;
    for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
    EXPECT_NO_FATAL_FAILURE(engine->ExecuteCommand(bytes.c_str()));
    engine->ExecuteCommand("+\"");
    engine->ExecuteCommand("+");
    engine->ExecuteCommand("\"\"\"");
    engine->ExecuteCommand("say \"");
    engine->ExecuteCommand("say \x01\x02\x7f\xff");
    for (const std::string& message : sink.messages) {
        EXPECT_EQ(message.find('\n'), std::string::npos) << "a line break splits the host's line";
    }
    EXPECT_EQ(engine->Tick(0), 1);
}

TEST_F(RobustnessTest, SeveralLinesInOneCommandRunInTurn) {
    EXPECT_EQ(engine->ExecuteCommand("a 1\nb 2\r\nc 3"), 1);
    EXPECT_EQ(ReadNumber("a") + ReadNumber("b") + ReadNumber("c"), 6.0f);
}

TEST_F(RobustnessTest, UnknownCommandsPrintOneLineEach) {
    sink.Clear();
    EXPECT_EQ(engine->ExecuteCommand("bogus"), 0);
    EXPECT_EQ(engine->ExecuteCommand("sim_bots many"), 0);
    EXPECT_EQ(engine->ExecuteCommand("sim_bots 65"), 0);
    EXPECT_EQ(engine->ExecuteCommand("sendbandwidth -4"), 0);
    EXPECT_EQ(sink.ConsoleLines().size(), 4u);
}

TEST_F(RobustnessTest, ChangeMapOutsideTheRotationIsRefused) {
    engine->ExecuteCommand("map0 worlds/antarctica");
    engine->ExecuteCommand("map1 worlds/b");
    engine->ExecuteCommand("map3 worlds/d");
    engine->ExecuteCommand("nummaps 2");
    EXPECT_EQ(engine->ExecuteCommand("changemap 1"), 0) << "no server runs yet";
    StartGame();
    sink.Clear();
    EXPECT_EQ(engine->ExecuteCommand("changemap 1"), 1);
    EXPECT_TRUE(sink.SaidSomethingContaining("worlds/b"));
    for (const char* bad : {"changemap 2", "changemap 3", "changemap -1", "changemap 2147483648",
                            "changemap 99999999999999999999", "changemap", "changemap x"}) {
        EXPECT_EQ(engine->ExecuteCommand(bad), 0) << bad;
    }
}

TEST_F(RobustnessTest, NullPointersAreRefused) {
    EXPECT_EQ(engine->ExecuteCommand(nullptr), 0);
    EXPECT_EQ(engine->FindVariable(nullptr, nullptr, 0), 0);
    uint32_t handle = 5;
    EXPECT_EQ(engine->FindVariable(nullptr, &handle, 0), 0);
    EXPECT_EQ(handle, 0u);
    engine->ExecuteCommand("x 1");
    EXPECT_EQ(engine->FindVariable("x", nullptr, 0), 0);
    EXPECT_EQ(engine->ReadVariableNumber(1, nullptr), 0);
    EXPECT_EQ(engine->ReadVariableText(1, nullptr, 10), 0);
    EXPECT_EQ(engine->GetVariableFlags(nullptr, nullptr), 0);
    EXPECT_EQ(engine->GetVariableFlags("x", nullptr), 0);
    EXPECT_EQ(engine->SetVariableFlags(nullptr, 5), 0);
    EXPECT_EQ(engine->SendHostMessage(nullptr), 0);
    EXPECT_EQ(engine->GetClientPing(1, nullptr), 0);
    EXPECT_EQ(engine->AttachHost(nullptr), 0);
    // Detached, output waits and reaches the host once it is back.
    engine->ExecuteCommand("help");
    EXPECT_TRUE(sink.console.empty());
    engine->AttachHost(&sink);
    engine->Tick(0);
    EXPECT_TRUE(sink.SaidSomethingContaining("sim_close"));
}

TEST_F(RobustnessTest, TheVariableTableStopsGrowingAtItsLimit) {
    int accepted = 0;
    for (int i = 0; i < 5000; ++i) {
        accepted += engine->ExecuteCommand(("v" + std::to_string(i) + " 1").c_str());
    }
    EXPECT_EQ(accepted, 4096);
    EXPECT_EQ(engine->ExecuteCommand("v1 2"), 1) << "existing variables still change";
}
