#include "SkillHarness.h"

#include <gtest/gtest.h>

namespace skilltest {
namespace {

class QuorvexTest : public ::testing::Test {
protected:
    SkillHarness host{"quorvex_skill"};
    const PlayerRef first = SkillHarness::Ref(1, "red");
    const PlayerRef second = SkillHarness::Ref(2, "red");  // groups play no part here
};

struct TransferCase {
    Ratings a, b;
    double weight;
    Ratings aAfter, bAfter;
};

TEST_F(QuorvexTest, TransferWorkedValues) {
    const TransferCase cases[] = {
        {{1000, 1000}, {1000, 1000}, 1.5, {1010, 1015}, {990, 985}},
        {{1000, 1000}, {1500, 1500}, 1.0, {1015, 1015}, {1485, 1485}},
        {{1500, 1500}, {1000, 1000}, 2.0, {1506, 1513}, {994, 987}},
        {{990, 1000}, {1000, 1000}, 0.5, {1010, 1005}, {990, 995}},
    };
    for (const TransferCase& c : cases) {
        SCOPED_TRACE(c.weight);
        SkillHarness fresh{"quorvex_skill"};
        WeaponWeight().weight = c.weight;
        PlayerStats& a = fresh.Insert(1, c.a.skill, c.a.weighted);
        PlayerStats& b = fresh.Insert(2, c.b.skill, c.b.weighted);
        fresh.Event(19, first, second);
        EXPECT_EQ(Of(a), c.aAfter);
        EXPECT_EQ(Of(b), c.bAfter);
        EXPECT_EQ(WeaponWeight().calls, std::vector<std::uint32_t>{fresh.weapon.record.value});
    }
}

TEST_F(QuorvexTest, WeightedRatingsAreFlooredBeforeTheirRatio) {
    PlayerStats& a = host.Insert(1, 1000, 500);
    PlayerStats& b = host.Insert(2, 1000, 1000);
    host.Event(19, first, second);
    EXPECT_EQ(Of(a), (Ratings{1010, 1010}));
    EXPECT_EQ(Of(b), (Ratings{990, 990}));
}

TEST_F(QuorvexTest, ZeroOrNegativeWeightMovesNoWeightedRating) {
    for (double weight : {0.0, -3.0}) {
        SkillHarness fresh{"quorvex_skill"};
        WeaponWeight().weight = weight;
        PlayerStats& a = fresh.Insert(1);
        PlayerStats& b = fresh.Insert(2);
        fresh.Event(19, first, second);
        EXPECT_EQ(Of(a), (Ratings{1010, 1000}));
        EXPECT_EQ(Of(b), (Ratings{990, 1000}));
    }
}

TEST_F(QuorvexTest, PenaltyLowersOnlyTheFirstPlayerByTheUnweightedAmount) {
    PlayerStats& a = host.Insert(1, 1000, 1200);
    PlayerStats& b = host.Insert(2, 1500, 1500);
    WeaponWeight().weight = 7.0;
    host.Event(30, first, second);
    EXPECT_EQ(Of(a), (Ratings{985, 1185}));
    EXPECT_EQ(Of(b), (Ratings{1500, 1500}));
    EXPECT_TRUE(WeaponWeight().calls.empty());
}

TEST_F(QuorvexTest, PenaltyRaisesBothPlayersToTheFloorFirst) {
    PlayerStats& a = host.Insert(1, 700, 999.5);
    PlayerStats& b = host.Insert(2, 900, 999.999);
    host.Event(30, first, second);
    EXPECT_EQ(Of(a), (Ratings{990, 990}));
    EXPECT_EQ(Of(b), (Ratings{1000, 1000}));
}

TEST_F(QuorvexTest, DecayWorkedValues) {
    const Ratings cases[][2] = {
        {{1000, 1200}, {995, 1194}},
        {{999, 999.5}, {1000, 1000}},
    };
    for (const auto& c : cases) {
        PlayerStats& p = host.Insert(1, c[0].skill, c[0].weighted);
        host.Event(15, first, second);
        EXPECT_EQ(Of(p), c[1]);
    }
}

TEST_F(QuorvexTest, DecayMayDropBelowTheFloorUntilTheNextEvent) {
    PlayerStats& p = host.Insert(1, 1004, 1004);
    host.Insert(2);
    host.Event(15, first, second);
    EXPECT_DOUBLE_EQ(p.skill, 998.98);
    EXPECT_EQ(p.skill, 1004 - 1004 * 0.001 * 5.0);
    EXPECT_EQ(p.weighted_skill, p.skill);
    host.Event(19, first, second);  // floored to 1000 first, then 10 from an equal rating
    EXPECT_EQ(Of(p), (Ratings{1010, 1010}));
}

TEST_F(QuorvexTest, DecayReadsOnlyTheFirstPlayer) {
    PlayerStats& p = host.Insert(1);
    host.Event(15, first, SkillHarness::Ref(404, "nobody"));
    EXPECT_EQ(Of(p), (Ratings{995, 995}));
}

TEST_F(QuorvexTest, RatiosAreTruncatedToWholeAmounts) {
    PlayerStats& a = host.Insert(1, 1500, 1500);  // 6.67 and 6.67 * 1.4 = 9.33
    PlayerStats& b = host.Insert(2, 1000, 1000);
    WeaponWeight().weight = 1.4;
    host.Event(19, first, second);
    EXPECT_EQ(Of(a), (Ratings{1506, 1509}));
    EXPECT_EQ(Of(b), (Ratings{994, 991}));
}

}  // namespace
}  // namespace skilltest
