#include <gtest/gtest.h>

#include "ByteText.h"
#include "FakeEngine.h"
#include "RotationStore.h"
#include "WorldNames.h"

namespace {

using Names = std::vector<std::string>;

class WorldRotationTest : public ::testing::Test {
protected:
    Names List() { return ListWorlds(access, "worlds"); }
    FakeEngine engine;  // file_name is the last component of each full name
    FakeEngineAccess access{&engine};
};

TEST_F(WorldRotationTest, WorldsAreFilteredTrimmedLowercasedInTheEngineOrder) {
    engine.files = {{1, "worlds/Zeta.dat"}, {1, "worlds/Base.DAT"}, {1, "worlds/old.dat.bak"},
                    {1, "worlds/readme"},   {1, "worlds.dat/x"},    {1, "worlds/odd.DaT"},
                    {2, "worlds/dir.dat"},  {0, "worlds/no.dat"},   {1, ".dat"},
                    {1, "worlds\\Win.dat"}, {1, "worlds/Zeta.dat"}};
    EXPECT_EQ(List(), (Names{"worlds/zeta", "worlds/base", "worlds/odd", ".dat", "worlds\\win",
                             "worlds/zeta"}));
    EXPECT_EQ(byte_text::LowercaseAscii("Z@[`az\xC4\xE9"), "z@[`az\xC4\xE9");  // only A to Z fold
}

TEST_F(WorldRotationTest, NamesTheRotationCannotHoldAreLeftOutNotCut) {
    engine.files = {{1, "w/tab\there.dat"}, {1, "w/line\nfeed.dat"},
                    {1, "w/cr\r.dat"},      {1, "w/del\x7f.dat"},
                    {1, "w/caf\xE9.dat"},   {1, "w/\xC3\xA9t\xC3\xA9.dat"}};
    EXPECT_EQ(List(), (Names{"w/caf\xE9", "w/\xC3\xA9t\xC3\xA9"}));

    // "map<index> <name>" must stay below 256 bytes; the widest index is the list's size.
    const std::string fits(250, 'f'), tooLong(251, 'g'), twoDigitFit(249, 'h');
    engine.files = {{1, fits + ".dat"}, {1, tooLong + ".dat"}};
    EXPECT_EQ(List(), Names{fits});
    engine.files = {{1, fits + ".dat"}, {1, twoDigitFit + ".dat"}};
    for (int i = 0; i < 8; ++i) engine.files.push_back({1, "w" + std::to_string(i) + ".dat"});
    EXPECT_EQ(List(), (Names{twoDigitFit, "w0", "w1", "w2", "w3", "w4", "w5", "w6", "w7"}));
}

TEST_F(WorldRotationTest, TheListIsHandedBackOnlyWhenNotEmpty) {
    engine.files = {{1, "worlds/a.dat"}};
    EXPECT_EQ(List(), Names{"worlds/a"});
    EXPECT_EQ(engine.calls, (Names{"ListFiles worlds", "ReleaseFileList"}));
    engine.files.clear();
    engine.ClearCalls();
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(engine.calls, Names{"ListFiles worlds"});
    access.Unbind();
    EXPECT_TRUE(List().empty());
}

TEST_F(WorldRotationTest, UnsendableEntriesAreLeftOutOfTheRotationAndItsLength) {
    ServerSettings settings(access);
    EXPECT_EQ(WriteRotation(settings, {"w/a", std::string(252, 'x'), "w/bad\nline", "w/c"}), 2);
    EXPECT_EQ(engine.Commands(), (Names{"map0 w/a", "map1 w/c", "nummaps 2"}));
    access.Unbind();
    EXPECT_EQ(WriteRotation(settings, {"worlds/a"}), std::nullopt);  // the length stays 2
    EXPECT_EQ(settings.NumMaps(), 2);
}

}  // namespace
