#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "EngineLink.h"
#include "FakeEngine.h"
#include "WorldNames.h"

namespace {

using Names = std::vector<std::string>;

class WorldNamesTest : public ::testing::Test {
protected:
    void SetUp() override { EngineLink::Instance().Bind(&engine, &lock); }
    void TearDown() override { EngineLink::Instance().Unbind(); }
    Names List() {
        Names names{"kept"};
        ListWorlds(names, "worlds");
        names.erase(names.begin());
        return names;
    }
    FakeEngine engine;  // file_name is the last component of each full name
    std::mutex lock;
};

TEST_F(WorldNamesTest, WorldsAreFilteredTrimmedLowercasedInTheEngineOrder) {
    engine.files = {{1, "worlds/Zeta.dat"}, {1, "worlds/Base.DAT"}, {1, "worlds/old.dat.bak"},
                    {1, "worlds/readme"},   {1, "worlds.dat/x"},    {1, "worlds/odd.DaT"},
                    {2, "worlds/dir.dat"},  {0, "worlds/no.dat"},   {1, ".dat"},
                    {1, "worlds\\Win.dat"}, {1, "worlds/Zeta.dat"}};
    EXPECT_EQ(List(), (Names{"worlds/zeta", "worlds/base", "worlds/odd", ".dat", "worlds\\win",
                             "worlds/zeta"}));
    // Only A to Z fold; other bytes pass untouched.
    EXPECT_EQ(LowercaseAscii("Z@[`az\xC4\xE9"), "z@[`az\xC4\xE9");
}

TEST_F(WorldNamesTest, ListIsReadUnderTheLockAndHandedBackOnlyWhenNotEmpty) {
    engine.files = {{1, "worlds/a.dat"}};
    bool locked = true;
    engine.onCall = [&](const std::string&) {
        if (lock.try_lock()) {
            locked = false;
            lock.unlock();
        }
    };
    EXPECT_EQ(List(), Names{"worlds/a"});
    EXPECT_EQ(engine.calls, (Names{"ListFiles worlds", "ReleaseFileList"}));
    EXPECT_TRUE(locked);

    engine.files.clear();
    engine.ClearCalls();
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(engine.calls, Names{"ListFiles worlds"});

    EngineLink::Instance().Unbind();
    engine.files = {{1, "worlds/a.dat"}};
    EXPECT_TRUE(List().empty());
}

TEST_F(WorldNamesTest, NameTooLongForARotationEntryIsLeftOutNotCut) {
    // "map<index> <name>" must stay below 256 bytes; the widest index is the list's size.
    const std::string fits(250, 'f'), tooLong(251, 'g'), twoDigitFit(249, 'h');
    engine.files = {{1, fits + ".dat"}, {1, tooLong + ".dat"}};
    EXPECT_EQ(List(), Names{fits});

    engine.files = {{1, fits + ".dat"}, {1, twoDigitFit + ".dat"}};
    for (int i = 0; i < 8; ++i) engine.files.push_back({1, "w" + std::to_string(i) + ".dat"});
    const Names names = List();
    ASSERT_EQ(names.size(), 9u);
    EXPECT_EQ(names.front(), twoDigitFit);
}

}  // namespace
