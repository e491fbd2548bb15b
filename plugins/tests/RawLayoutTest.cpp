// A 32-bit host that knows only the published byte offsets, not this project's structs, drives
// each plug-in. In a 64-bit build the offsets do not apply and the test is skipped.
#include "SkillHarness.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace skilltest {
namespace {

template <typename T>
void Put(unsigned char* record, std::size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

template <typename T>
T Get(const unsigned char* record, std::size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

struct RawCase {
    const char* plugin;
    std::size_t useAltKeyOffset;
    std::size_t weaponOffset;
    double firstAfter;
};

void PrintTo(const RawCase& c, std::ostream* os) {
    *os << c.plugin;
}

class RawLayoutTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawLayoutTest, PublishedOffsetsDriveThePlugin) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "offsets are those of the 32-bit host";
    const RawCase& c = GetParam();
    const std::string path = std::string(SKILL_PLUGIN_DIR) + "/" + c.plugin + ".so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto init =
        reinterpret_cast<void (*)(void*, void*, gpointer)>(dlsym(module, "skill_plugin_init"));
    auto event = reinterpret_cast<void (*)(void*, void*, void*, void*, void*)>(
        dlsym(module, "skill_plugin_event"));
    ASSERT_TRUE(init && event);

    alignas(8) std::array<unsigned char, 128> options{};
    Put<std::int32_t>(options.data(), c.useAltKeyOffset, 1);
    GHashTable* players = g_hash_table_new(g_direct_hash, g_direct_equal);
    alignas(8) std::array<unsigned char, 4> state{};
    Put<GHashTable*>(state.data(), 0, players);

    // Two players keyed by their alternate keys; the plain keys name nobody.
    alignas(8) std::array<unsigned char, 72> first{}, second{};
    g_hash_table_insert(players, GUINT_TO_POINTER(501), first.data());
    g_hash_table_insert(players, GUINT_TO_POINTER(502), second.data());
    init(options.data(), state.data(), GUINT_TO_POINTER(501));
    init(options.data(), state.data(), GUINT_TO_POINTER(502));
    EXPECT_EQ(Get<double>(first.data(), 56), 1000.0);
    EXPECT_EQ(Get<double>(first.data(), 64), 1000.0);

    std::array<unsigned char, 16> firstRef{}, secondRef{};
    Put<std::uint32_t>(firstRef.data(), 0, 1);
    Put<const char*>(firstRef.data(), 4, "red");
    Put<std::uint32_t>(firstRef.data(), 12, 501);
    Put<std::uint32_t>(secondRef.data(), 0, 2);
    Put<const char*>(secondRef.data(), 4, "blue");
    Put<std::uint32_t>(secondRef.data(), 12, 502);

    std::array<std::uint32_t, 2> weapon{0x0BADF00Du, 0xFFFFFFFFu};
    alignas(8) std::array<unsigned char, 40> gameEvent{};
    Put<std::int32_t>(gameEvent.data(), 0, 19);
    Put<void*>(gameEvent.data(), c.weaponOffset, weapon.data());
    WeaponWeight() = {};
    event(options.data(), state.data(), gameEvent.data(), firstRef.data(), secondRef.data());

    EXPECT_EQ(Get<double>(first.data(), 56), c.firstAfter);
    EXPECT_EQ(Get<double>(second.data(), 56), 2000.0 - c.firstAfter);
    if (std::strcmp(c.plugin, "brindle_skill") != 0) {
        EXPECT_EQ(WeaponWeight().calls, std::vector<std::uint32_t>{0x0BADF00Du});
    }
    g_hash_table_destroy(players);
    dlclose(module);
}

INSTANTIATE_TEST_SUITE_P(Offsets, RawLayoutTest,
                         ::testing::Values(RawCase{"brindle_skill", 76, 24, 1010.0},
                                           RawCase{"quorvex_skill", 88, 28, 1010.0},
                                           RawCase{"corvane_skill", 76, 24, 1005.0}),
                         [](const auto& info) { return std::string(info.param.plugin); });

}  // namespace
}  // namespace skilltest
