#include "SkillHarness.h"

#include <gtest/gtest.h>

namespace skilltest {
namespace {

struct KillCase {
    Ratings a, b;
    double weight;
    const char* secondGroup;
    Ratings aAfter, bAfter;
};

TEST(CorvaneTest, WorkedValues) {
    const KillCase cases[] = {
        {{1000, 1000}, {1000, 1000}, 1.5, "blue", {1005, 1007}, {995, 993}},
        {{1000, 1000}, {1000, 1000}, 1.5, "red", {995, 995}, {1000, 1000}},
        {{1000, 1000}, {1500, 1500}, 1.0, "blue", {1007, 1007}, {1493, 1493}},
        {{0.5, 1000}, {3.0, 1000}, 1.0, "blue", {16, 1005}, {-12, 995}},
    };
    for (const KillCase& c : cases) {
        SCOPED_TRACE(c.aAfter.skill);
        SkillHarness host{"corvane_skill"};
        WeaponWeight().weight = c.weight;
        PlayerStats& a = host.Insert(1, c.a.skill, c.a.weighted);
        PlayerStats& b = host.Insert(2, c.b.skill, c.b.weighted);
        host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, c.secondGroup));
        EXPECT_EQ(Of(a), c.aAfter);
        EXPECT_EQ(Of(b), c.bAfter);
        // Asked once per rated kill, the penalty included.
        EXPECT_EQ(WeaponWeight().calls, std::vector<std::uint32_t>{host.weapon.record.value});
    }
}

TEST(CorvaneTest, GroupsDifferingInCaseMeanATransfer) {
    SkillHarness host{"corvane_skill"};
    PlayerStats& a = host.Insert(1);
    PlayerStats& b = host.Insert(2);
    host.Event(19, SkillHarness::Ref(1, "Red"), SkillHarness::Ref(2, "red"));
    EXPECT_EQ(Of(a), (Ratings{1005, 1005}));
    EXPECT_EQ(Of(b), (Ratings{995, 995}));
}

TEST(CorvaneTest, FloorLeavesOneAloneAndRaisesBelowIt) {
    SkillHarness host{"corvane_skill"};
    PlayerStats& a = host.Insert(1, 0.999, 1.0);
    PlayerStats& b = host.Insert(2, 1.0, -4.0);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "blue"));
    EXPECT_EQ(Of(a), (Ratings{6, 6}));
    EXPECT_EQ(Of(b), (Ratings{-4, -4}));
}

TEST(CorvaneTest, PenaltyStillFloorsTheSecondPlayer) {
    SkillHarness host{"corvane_skill"};
    PlayerStats& a = host.Insert(1, 2.0, 2.0);
    PlayerStats& b = host.Insert(2, 0.5, 3.0);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "red"));
    EXPECT_EQ(Of(a), (Ratings{0, 0}));  // 1.0 / 2.0 * 5 = 2.5, so 2 each
    EXPECT_EQ(Of(b), (Ratings{1, 3}));
}

TEST(CorvaneTest, ZeroWeightMovesNoWeightedRating) {
    SkillHarness host{"corvane_skill"};
    WeaponWeight().weight = 0.0;
    PlayerStats& a = host.Insert(1);
    PlayerStats& b = host.Insert(2);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "blue"));
    EXPECT_EQ(Of(a), (Ratings{1005, 1000}));
    EXPECT_EQ(Of(b), (Ratings{995, 1000}));
}

}  // namespace
}  // namespace skilltest
