// The three plug-ins: what each owes the host, the 32-bit byte layout, and their formulas.
#include "SkillHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>

extern "C" double get_weapon_weight(std::uint32_t weapon) {
    skilltest::weightCalls.push_back(weapon);
    return skilltest::weaponWeight;
}

namespace skilltest {
namespace {

class ContractTest : public ::testing::TestWithParam<const char*> {
protected:
    SkillHarness host{GetParam()};
};

TEST_P(ContractTest, InitResetsTheGivenKeyAndLogsOnceForAMissingOne) {
    host.SetUseAltKey(1);  // init looks the key up as given whatever this holds
    PlayerStats& moved = host.Insert(7, 1234.5, -17.25);
    PlayerStats& other = host.Insert(8, 55.0, 66.0);
    host.Init(7);
    EXPECT_EQ(Of(moved), (Ratings{1000.0, 1000.0}));
    EXPECT_TRUE(std::all_of(std::begin(moved.host_fields), std::end(moved.host_fields),
                            [](unsigned char byte) { return byte == 0xA5; }));
    host.Init(9);
    const std::string level = std::to_string(G_LOG_LEVEL_MESSAGE);
    EXPECT_EQ(host.logs, std::vector<std::string>{"(null) " + level + " Coundn't look up player"});
    EXPECT_EQ(Of(other), (Ratings{55.0, 66.0}));
}

// Ratings below every floor show whether an ignored event touched them at all.
TEST_P(ContractTest, UnknownCodesMissingPlayersAndFinishChangeNothingAndLogNothing) {
    PlayerStats& a = host.Insert(1, 0.5, 999.0);
    PlayerStats& b = host.Insert(2, 0.25, 0.75);
    std::vector<std::int32_t> codes{0, 7, 14, 16, 18, 20, 29, 31, -19, INT_MAX, INT_MIN};
    if (!host.layoutB) codes.insert(codes.end(), {15, 30});
    for (std::int32_t code : codes) host.Event(code, Ref(1), Ref(2, "blue"));
    for (std::int32_t code : {15, 19, 30}) {
        host.Event(code, Ref(9), Ref(1, "blue"));
        if (code != 15) host.Event(code, Ref(1), Ref(9, "blue"));
    }
    host.finish();
    EXPECT_EQ(Of(a), (Ratings{0.5, 999.0}));
    EXPECT_EQ(Of(b), (Ratings{0.25, 0.75}));
    EXPECT_TRUE(weightCalls.empty());
    EXPECT_TRUE(host.logs.empty());
}

// Records under the alternate keys and decoys under the plain keys: only the chosen ones move.
TEST_P(ContractTest, UseAltKeyExactlyOneSelectsTheAlternateKey) {
    for (std::int32_t useAltKey : {1, 0, 2, -1}) {
        SCOPED_TRACE(useAltKey);
        SkillHarness fresh{GetParam()};
        fresh.SetUseAltKey(useAltKey);
        PlayerStats* alt[] = {&fresh.Insert(101), &fresh.Insert(102)};
        PlayerStats* plain[] = {&fresh.Insert(1), &fresh.Insert(2)};
        fresh.Event(19, Ref(1, "red", 101), Ref(2, "blue", 102));
        PlayerStats** moved = useAltKey == 1 ? alt : plain;
        PlayerStats** kept = useAltKey == 1 ? plain : alt;
        EXPECT_GT(moved[0]->skill, 1000.0);
        EXPECT_LT(moved[1]->skill, 1000.0);
        for (int i : {0, 1}) EXPECT_EQ(Of(*kept[i]), (Ratings{1000.0, 1000.0})) << i;
    }
}

template <typename T, std::size_t N>
void Put(std::array<unsigned char, N>& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

double RatingAt(const unsigned char* bytes) {
    double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// A host that knows only the published 32-bit offsets, not this project's structs.
TEST_P(ContractTest, PublishedOffsetsDriveThePlugin) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "offsets are those of the 32-bit host";
    alignas(8) std::array<unsigned char, 128> options{};
    Put<std::int32_t>(options, host.layoutB ? 88 : 76, 1);
    alignas(8) std::array<unsigned char, 4> state{};
    Put(state, 0, host.state.players);
    // Two players keyed by their alternate keys; the plain keys name nobody.
    alignas(8) std::array<unsigned char, 72> first{}, second{};
    g_hash_table_insert(host.state.players, GUINT_TO_POINTER(501), first.data());
    g_hash_table_insert(host.state.players, GUINT_TO_POINTER(502), second.data());
    host.init(options.data(), state.data(), GUINT_TO_POINTER(501));
    host.init(options.data(), state.data(), GUINT_TO_POINTER(502));
    EXPECT_EQ(RatingAt(&first[56]), 1000.0);
    EXPECT_EQ(RatingAt(&first[64]), 1000.0);
    alignas(8) std::array<unsigned char, 16> refs[2]{};
    for (std::uint32_t i = 0; i < 2; ++i) {
        Put(refs[i], 0, i + 1);
        Put(refs[i], 4, i == 0 ? "red" : "blue");
        Put(refs[i], 12, 501 + i);
    }
    std::array<std::uint32_t, 2> weapon{0x0BADF00Du, 0xFFFFFFFFu};
    alignas(8) std::array<unsigned char, 40> gameEvent{};
    Put<std::int32_t>(gameEvent, 0, 19);
    Put(gameEvent, host.layoutB ? 28 : 24, weapon.data());
    host.event(options.data(), state.data(), gameEvent.data(), refs[0].data(), refs[1].data());
    const double moved = std::string(GetParam()) == "corvane_skill" ? 5.0 : 10.0;
    EXPECT_EQ(RatingAt(&first[56]), 1000.0 + moved);
    EXPECT_EQ(RatingAt(&second[56]), 1000.0 - moved);
    const bool weighted = std::string(GetParam()) != "brindle_skill";
    EXPECT_EQ(weightCalls, std::vector<std::uint32_t>(weighted ? 1 : 0, 0x0BADF00Du));
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, ContractTest,
                         ::testing::Values("brindle_skill", "quorvex_skill", "corvane_skill"),
                         [](const auto& info) { return std::string(info.param); });

constexpr const char* kB = "brindle_skill";
constexpr const char* kQ = "quorvex_skill";
constexpr const char* kC = "corvane_skill";

// One event between players 1 (a) and 2 (b); a decay event names a missing second player.
struct Case {
    const char *plugin, *firstGroup, *secondGroup;
    std::int32_t code;
    double weight;
    Ratings a, b, aAfter, bAfter;
};
const Case kCases[] = {
    {kB, "r", "b", 19, 1, {1000, 0}, {1000, 0}, {1010, 1010}, {990, 990}},
    {kB, "r", "b", 19, 1, {1200, 0}, {1000, 0}, {1207.73726, 1207.73726}, {992.26274, 992.26274}},
    {kB, "r", "b", 19, 1, {1000, 0}, {1200, 0}, {1012.26274, 1012.26274}, {1187.73726, 1187.73726}},
    {kB, "r", "b", 19, 1, {1500, 0}, {900, 0}, {1504.0152, 1504.0152}, {895.9848, 895.9848}},
    {kB, "r", "b", 19, 1, {1234.5, 1}, {1234.5, 2}, {1244.5, 1244.5}, {1224.5, 1224.5}},
    {kB, "r", "r", 19, 1, {1100, 900}, {1000, 1300}, {1100, 900}, {1000, 1300}},
    {kB, "R", "r", 19, 1, {1000, 1000}, {1000, 1000}, {1010, 1010}, {990, 990}},
    {kB, "r", "b", 19, 1, {-40, 0}, {-50, 0}, {-30.11512, -30.11512}, {-59.88488, -59.88488}},
    // Groups play no part; amounts are truncated (6.67 and 13.33 below).
    {kQ, "r", "r", 19, 1.5, {1000, 1000}, {1000, 1000}, {1010, 1015}, {990, 985}},
    {kQ, "R", "r", 19, 1, {1000, 1000}, {1500, 1500}, {1015, 1015}, {1485, 1485}},
    {kQ, "r", "b", 19, 2, {1500, 1500}, {1000, 1000}, {1506, 1513}, {994, 987}},
    {kQ, "r", "b", 19, 0.5, {990, 500}, {1000, 1000}, {1010, 1005}, {990, 995}},
    {kQ, "r", "b", 19, 0, {1000, 1000}, {1000, 1000}, {1010, 1000}, {990, 1000}},
    {kQ, "r", "b", 19, -3, {1000, 1000}, {1000, 1000}, {1010, 1000}, {990, 1000}},
    {kQ, "r", "b", 30, 7, {1000, 1200}, {1500, 1500}, {985, 1185}, {1500, 1500}},
    {kQ, "r", "b", 30, 1, {700, 999.5}, {900, 999.999}, {990, 990}, {1000, 1000}},
    {kQ, "r", "b", 15, 1, {1000, 1200}, {500, 500}, {995, 1194}, {500, 500}},
    {kQ, "r", "b", 15, 1, {999, 999.5}, {500, 500}, {1000, 1000}, {500, 500}},
    {kQ, "r", "b", 15, 1, {1004, 1004}, {500, 500}, {998.98, 998.98}, {500, 500}},
    // A kill within one group is a penalty on the first player alone.
    {kC, "r", "b", 19, 1.5, {1000, 1000}, {1000, 1000}, {1005, 1007}, {995, 993}},
    {kC, "r", "r", 19, 1.5, {1000, 1000}, {1000, 1000}, {995, 995}, {1000, 1000}},
    {kC, "R", "r", 19, 1, {1000, 1000}, {1000, 1000}, {1005, 1005}, {995, 995}},
    {kC, "r", "b", 19, 1, {1000, 1000}, {1500, 1500}, {1007, 1007}, {1493, 1493}},
    {kC, "r", "b", 19, 1, {0.5, 1000}, {3, 1000}, {16, 1005}, {-12, 995}},
    {kC, "r", "b", 19, 1, {0.999, 1}, {1, -4}, {6, 6}, {-4, -4}},
    {kC, "r", "r", 19, 1, {2, 2}, {0.5, 3}, {0, 0}, {1, 3}},
    {kC, "r", "b", 19, 0, {1000, 1000}, {1000, 1000}, {1005, 1000}, {995, 1000}},
};

TEST(FormulaTest, WorkedValues) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.plugin << " row " << (&c - kCases));
        SkillHarness host{c.plugin};
        weaponWeight = c.weight;
        PlayerStats& a = host.Insert(1, c.a.skill, c.a.weighted);
        PlayerStats& b = host.Insert(2, c.b.skill, c.b.weighted);
        host.Event(c.code, Ref(1, c.firstGroup), Ref(c.code == 15 ? 3 : 2, c.secondGroup));
        const double tolerance = c.plugin == kB ? 5e-6 : 0.0;  // tabled to five decimals
        EXPECT_NEAR(a.skill, c.aAfter.skill, tolerance);
        EXPECT_NEAR(a.weighted_skill, c.aAfter.weighted, tolerance);
        EXPECT_NEAR(b.skill, c.bAfter.skill, tolerance);
        EXPECT_NEAR(b.weighted_skill, c.bAfter.weighted, tolerance);
        const bool asked = c.plugin != kB && c.code == 19;  // once, with the first field
        EXPECT_EQ(weightCalls, std::vector<std::uint32_t>(asked ? 1 : 0, 0xC0FFEE01u));
    }
}

}  // namespace
}  // namespace skilltest
