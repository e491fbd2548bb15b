// What all three plug-ins owe the host: initialisation, lookups, ignored events, quiet failures.
#include "SkillHarness.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace skilltest {
namespace {

class ContractTest : public ::testing::TestWithParam<const char*> {
protected:
    SkillHarness host{GetParam()};
    bool Weighted() const { return std::strcmp(GetParam(), "brindle_skill") != 0; }
};

bool HostFieldsIntact(const PlayerStats& stats) {
    for (unsigned char byte : stats.host_fields) {
        if (byte != 0xA5) return false;
    }
    return true;
}

TEST_P(ContractTest, InitSetsBothRatingsAndResetsMovedOnes) {
    PlayerStats& moved = host.Insert(7, 1234.5, -17.25);
    PlayerStats& other = host.Insert(8, 55.0, 66.0);
    host.Init(7);
    EXPECT_EQ(Of(moved), (Ratings{1000.0, 1000.0}));
    EXPECT_EQ(Of(other), (Ratings{55.0, 66.0}));
    EXPECT_TRUE(HostFieldsIntact(moved));
    EXPECT_TRUE(host.Logs().empty());
}

TEST_P(ContractTest, InitLooksUpTheGivenKeyWhateverUseAltKeyHolds) {
    host.SetUseAltKey(1);
    PlayerStats& stats = host.Insert(3, 5.0, 5.0);
    host.Init(3);
    EXPECT_EQ(Of(stats), (Ratings{1000.0, 1000.0}));
}

TEST_P(ContractTest, InitOfMissingKeyLogsOnceAtMessageLevel) {
    PlayerStats& stats = host.Insert(1, 5.0, 6.0);
    host.Init(2);
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].domain, "(null)");
    EXPECT_EQ(host.Logs()[0].level & G_LOG_LEVEL_MASK, G_LOG_LEVEL_MESSAGE);
    EXPECT_EQ(host.Logs()[0].message, "Coundn't look up player");
    EXPECT_EQ(Of(stats), (Ratings{5.0, 6.0}));
}

// Ratings below every floor show whether an ignored event touched them at all.
TEST_P(ContractTest, UnknownCodesChangeNothing) {
    PlayerStats& a = host.Insert(1, 0.5, 999.0);
    PlayerStats& b = host.Insert(2, 0.25, 0.75);
    std::vector<std::int32_t> codes{0, 7, 14, 16, 18, 20, 29, 31, -19, INT_MAX, INT_MIN};
    if (!host.LayoutB()) codes.insert(codes.end(), {15, 30});
    for (std::int32_t code : codes) {
        host.Event(code, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "blue"));
    }
    EXPECT_EQ(Of(a), (Ratings{0.5, 999.0}));
    EXPECT_EQ(Of(b), (Ratings{0.25, 0.75}));
    EXPECT_TRUE(WeaponWeight().calls.empty());
    EXPECT_TRUE(host.Logs().empty());
}

TEST_P(ContractTest, MissingPlayerChangesNothingNotEvenFloorsAndLogsNothing) {
    PlayerStats& present = host.Insert(1, 0.5, 999.0);
    const PlayerRef found = SkillHarness::Ref(1, "red");
    const PlayerRef missing = SkillHarness::Ref(9, "blue");
    for (std::int32_t code : {19, 30}) {
        host.Event(code, found, missing);
        host.Event(code, missing, found);
    }
    host.Event(15, missing, found);
    EXPECT_EQ(Of(present), (Ratings{0.5, 999.0}));
    EXPECT_TRUE(WeaponWeight().calls.empty());
    EXPECT_TRUE(host.Logs().empty());
}

// Records under the alternate keys and decoys under the plain keys: only the chosen ones move.
TEST_P(ContractTest, UseAltKeyExactlyOneSelectsTheAlternateKey) {
    for (std::int32_t useAltKey : {1, 0, 2, -1}) {
        SCOPED_TRACE(useAltKey);
        SkillHarness fresh{GetParam()};
        fresh.SetUseAltKey(useAltKey);
        PlayerStats& altFirst = fresh.Insert(101);
        PlayerStats& altSecond = fresh.Insert(102);
        PlayerStats& plainFirst = fresh.Insert(1);
        PlayerStats& plainSecond = fresh.Insert(2);
        fresh.Event(19, SkillHarness::Ref(1, "red", 101), SkillHarness::Ref(2, "blue", 102));
        const bool alt = useAltKey == 1;
        EXPECT_GT((alt ? altFirst : plainFirst).skill, 1000.0);
        EXPECT_LT((alt ? altSecond : plainSecond).skill, 1000.0);
        EXPECT_EQ(Of(alt ? plainFirst : altFirst), (Ratings{1000.0, 1000.0}));
        EXPECT_EQ(Of(alt ? plainSecond : altSecond), (Ratings{1000.0, 1000.0}));
    }
}

TEST_P(ContractTest, WeightAskedOnceWithTheWeaponRecordsFirstField) {
    host.Insert(1);
    host.Insert(2);
    host.Event(19, SkillHarness::Ref(1, "red"), SkillHarness::Ref(2, "blue"));
    if (Weighted()) {
        EXPECT_EQ(WeaponWeight().calls, std::vector<std::uint32_t>{0xC0FFEE01u});
    } else {
        EXPECT_TRUE(WeaponWeight().calls.empty());
    }
}

TEST_P(ContractTest, FinishDoesNothing) {
    PlayerStats& stats = host.Insert(1, 12.0, 34.0);
    host.Finish();
    host.Finish();
    EXPECT_EQ(Of(stats), (Ratings{12.0, 34.0}));
    EXPECT_TRUE(host.Logs().empty());
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, ContractTest,
                         ::testing::Values("brindle_skill", "quorvex_skill", "corvane_skill"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace skilltest
