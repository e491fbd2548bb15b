#include <cstring>

#include "EngineTestSupport.h"

class VariableTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CreateEngine();
    }
};

TEST_F(VariableTest, NamesAreOneVariableWhateverTheirCase) {
    engine->ExecuteCommand("nummaps 3.000000");
    uint32_t lower = 0, mixed = 0;
    EXPECT_EQ(engine->FindVariable("nummaps", &lower, 0), 1);
    EXPECT_EQ(engine->FindVariable("NumMaps", &mixed, 0), 1);
    EXPECT_NE(lower, 0u);
    EXPECT_EQ(lower, mixed);
    EXPECT_EQ(ReadNumber("NUMMAPS"), 3.0f);
    engine->ExecuteCommand("NumMaps 5");
    EXPECT_EQ(ReadNumber("nummaps"), 5.0f);
    engine->ExecuteCommand("+SERVERNAME \"Upper\"");
    engine->ExecuteCommand("+servername \"lower\"");
    EXPECT_EQ(ReadText("ServerName"), "lower");
}

TEST_F(VariableTest, ValuesAreNumbersWhenTheyReadAsOneElseTexts) {
    engine->ExecuteCommand("timelimit 30.000000");
    engine->ExecuteCommand("map0 worlds/antarctica");
    engine->ExecuteCommand("+adminname \" \"");
    engine->ExecuteCommand("+servername \"Tarnwick Server\"");
    engine->ExecuteCommand("playerkickvote 0.600000");
    engine->ExecuteCommand("map%d 0.000000");
    EXPECT_EQ(ReadNumber("timelimit"), 30.0f);
    EXPECT_EQ(ReadText("timelimit"), "30");
    EXPECT_EQ(ReadText("map0"), "worlds/antarctica");
    EXPECT_EQ(ReadNumber("map0"), 0.0f);
    EXPECT_EQ(ReadText("adminname"), " ");
    EXPECT_EQ(ReadText("servername"), "Tarnwick Server");
    EXPECT_EQ(ReadNumber("playerkickvote"), 0.6f);
    EXPECT_EQ(ReadNumber("map%d"), 0.0f);
}

TEST_F(VariableTest, UnknownNamesGiveHandleZeroAndNoValue) {
    uint32_t handle = 77;
    EXPECT_EQ(engine->FindVariable("nosuch", &handle, 0), 0);
    EXPECT_EQ(handle, 0u);
    float number = 1.5f;
    EXPECT_EQ(engine->ReadVariableNumber(0, &number), 0);
    EXPECT_EQ(engine->ReadVariableNumber(999, &number), 0);
    EXPECT_EQ(number, 1.5f);
    char buffer[8] = "garbage";
    EXPECT_EQ(engine->ReadVariableText(0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(VariableTest, TextReadsStopInsideTheCapacity) {
    engine->ExecuteCommand("+servername \"abcdefghij\"");
    uint32_t handle = 0;
    ASSERT_EQ(engine->FindVariable("servername", &handle, 0), 1);
    for (int32_t capacity : {1, 2, 5, 10, 11, 64}) {
        char buffer[80];
        std::memset(buffer, '#', sizeof buffer);
        engine->ReadVariableText(handle, buffer, capacity);
        const size_t expected = std::min<size_t>(10, static_cast<size_t>(capacity) - 1);
        EXPECT_EQ(std::strlen(buffer), expected) << capacity;
        EXPECT_EQ(buffer[capacity], '#') << "written past capacity " << capacity;
    }
    char untouched = '#';
    EXPECT_EQ(engine->ReadVariableText(handle, &untouched, 0), 0);
    EXPECT_EQ(engine->ReadVariableText(handle, &untouched, -5), 0);
    EXPECT_EQ(untouched, '#');
}

TEST_F(VariableTest, FlagsAreAnsweredAndOnlyKnownVariablesTakeThem) {
    engine->ExecuteCommand("voting 1");
    uint32_t flags = 99;
    EXPECT_EQ(engine->GetVariableFlags("voting", &flags), 0);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(engine->SetVariableFlags("VOTING", 5), 1);
    EXPECT_EQ(engine->GetVariableFlags("voting", &flags), 5);
    EXPECT_EQ(flags, 5u);
    EXPECT_EQ(engine->SetVariableFlags("nosuch", 5), 0);
    EXPECT_EQ(engine->GetVariableFlags("nosuch", &flags), 0);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(engine->SetVariableFlags("voting", 0x80000004u), 1);
    EXPECT_EQ(engine->GetVariableFlags("voting", &flags), static_cast<int32_t>(0x80000004u));
}

TEST_F(VariableTest, ANameAloneShowsTheValueAndAnUnknownOneIsAnError) {
    engine->ExecuteCommand("timelimit 30");
    sink.Clear();
    EXPECT_EQ(engine->ExecuteCommand("timelimit"), 1);
    EXPECT_TRUE(sink.SaidSomethingContaining("\"timelimit\" is \"30\""));
    sink.Clear();
    EXPECT_EQ(engine->ExecuteCommand("frobnicate"), 0);
    ASSERT_EQ(sink.ConsoleLines().size(), 1u);
    EXPECT_NE(sink.ConsoleLines()[0].find("Unknown command"), std::string::npos);
}

TEST_F(VariableTest, QuotesAreTakenFromTheFirstToTheLast) {
    engine->ExecuteCommand("+servername \"The \"Best\" Server\"");
    EXPECT_EQ(ReadText("servername"), "The \"Best\" Server");
    engine->ExecuteCommand("+servername \"unterminated text");
    EXPECT_EQ(ReadText("servername"), "unterminated text");
    engine->ExecuteCommand("adminemail \"30\"");
    EXPECT_EQ(ReadText("adminemail"), "30");
    engine->ExecuteCommand("+adminname \"\"");
    EXPECT_EQ(ReadText("adminname"), "");
}
