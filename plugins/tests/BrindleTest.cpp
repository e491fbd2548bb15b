#include "SkillHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace skilltest {
namespace {

struct EloCase {
    double a, b, d;
};

class BrindleTest : public ::testing::Test {
protected:
    SkillHarness host{"brindle_skill"};
    const PlayerRef red = SkillHarness::Ref(1, "red");
    const PlayerRef blue = SkillHarness::Ref(2, "blue");
};

TEST_F(BrindleTest, WorkedValues) {
    for (const EloCase& c : {EloCase{1000, 1000, 10}, EloCase{1200, 1000, 7.737264},
                             EloCase{1000, 1200, 12.262736}, EloCase{1500, 900, 4.015200}}) {
        SCOPED_TRACE(c.a);
        SkillHarness fresh{"brindle_skill"};
        PlayerStats& a = fresh.Insert(1, c.a, 0.0);
        PlayerStats& b = fresh.Insert(2, c.b, 0.0);
        fresh.Event(19, red, blue);
        // Full double precision, in the documented order of operations.
        const double d = 1.0 / (std::pow(10.0, (c.a - c.b) * 0.001) + 1.0) * 20.0;
        EXPECT_NEAR(d, c.d, 5e-7);
        EXPECT_EQ(a.skill, c.a + d);
        EXPECT_EQ(b.skill, c.b - d);
        EXPECT_EQ(a.weighted_skill, a.skill);
        EXPECT_EQ(b.weighted_skill, b.skill);
    }
}

TEST_F(BrindleTest, EqualRatingsMoveExactlyTen) {
    PlayerStats& a = host.Insert(1, 1234.5, 1.0);
    PlayerStats& b = host.Insert(2, 1234.5, 2.0);
    host.Event(19, red, blue);
    EXPECT_EQ(Of(a), (Ratings{1244.5, 1244.5}));
    EXPECT_EQ(Of(b), (Ratings{1224.5, 1224.5}));
}

TEST_F(BrindleTest, EqualGroupsChangeNothingEvenUnequalSecondRatings) {
    PlayerStats& a = host.Insert(1, 1100.0, 900.0);
    PlayerStats& b = host.Insert(2, 1000.0, 1300.0);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "red"));
    EXPECT_EQ(Of(a), (Ratings{1100.0, 900.0}));
    EXPECT_EQ(Of(b), (Ratings{1000.0, 1300.0}));
}

TEST_F(BrindleTest, GroupsDifferingInCaseAreDifferent) {
    PlayerStats& a = host.Insert(1);
    host.Insert(2);
    host.Event(19, SkillHarness::Ref(1, "Red"), SkillHarness::Ref(2, "red"));
    EXPECT_EQ(a.skill, 1010.0);
}

TEST_F(BrindleTest, SameRecordOnBothSidesGainsAndLosesTen) {
    PlayerStats& a = host.Insert(1, 1000.25, 3.0);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(1, "blue"));
    EXPECT_EQ(Of(a), (Ratings{1000.25, 1000.25}));
}

TEST_F(BrindleTest, NegativeRatingsStayUnfloored) {
    PlayerStats& a = host.Insert(1, -50.0, 0.0);
    PlayerStats& b = host.Insert(2, -40.0, 0.0);
    host.Event(19, blue, red);
    EXPECT_LT(a.skill, -50.0);
    EXPECT_GT(b.skill, -40.0);
}

// Scale 1000 with K 20 is the classic scale 400 with ratings times 0.4 and K 8.
TEST_F(BrindleTest, MatchesIndependentEloOnLongRandomSequence) {
    constexpr int kPlayers = 24;
    const char* groups[] = {"red", "blue", "Red"};
    std::vector<PlayerRef> refs;
    std::vector<PlayerStats*> stats;
    std::vector<double> classic;
    for (int i = 0; i < kPlayers; ++i) {
        refs.push_back(SkillHarness::Ref(100 + i, groups[i % 3]));
        stats.push_back(&host.Insert(100 + i));
        classic.push_back(0.4 * 1000.0);
    }
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, kPlayers - 1);
    for (int event = 0; event < 20000; ++event) {
        const int w = pick(random);
        const int l = pick(random);
        host.Event(19, refs[w], refs[l]);
        if (w % 3 == l % 3) continue;  // same group text
        const double expectedLoser =
            1.0 / (1.0 + std::pow(10.0, (classic[w] - classic[l]) / 400.0));
        classic[w] += 8.0 * expectedLoser;
        classic[l] -= 8.0 * expectedLoser;
    }
    double spread = 0;
    for (int i = 0; i < kPlayers; ++i) {
        EXPECT_NEAR(stats[i]->skill, classic[i] / 0.4, 1e-6) << i;
        EXPECT_EQ(stats[i]->weighted_skill, stats[i]->skill);
        spread = std::max(spread, std::abs(stats[i]->skill - 1000.0));
    }
    EXPECT_GT(spread, 50.0);  // the sequence really moved the ratings
}

}  // namespace
}  // namespace skilltest
