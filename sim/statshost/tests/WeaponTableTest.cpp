#include "HostError.h"
#include "TempFile.h"
#include "WeaponTable.h"

#include <gtest/gtest.h>

extern "C" double get_weapon_weight(std::uint32_t weapon);

namespace {

TEST(WeaponTableTest, WeightsByHandleAndOneForTheUnknown) {
    TempFile file("# weights\nrifle 1.25\nknife 0\n");
    WeaponTable weapons;
    weapons.ReadWeights(file.path);
    const std::uint32_t rifle = weapons.Intern("rifle")->value;
    const std::uint32_t axe = weapons.Intern("axe")->value;
    EXPECT_EQ(weapons.Weight(rifle), 1.25);
    EXPECT_EQ(weapons.Weight(weapons.Intern("knife")->value), 0.0);
    EXPECT_EQ(weapons.Weight(axe), 1.0);
    EXPECT_EQ(weapons.Weight(0), 1.0);
    EXPECT_EQ(weapons.Weight(999), 1.0);
}

TEST(WeaponTableTest, ExportedFunctionAnswersFromTheInstalledTable) {
    TempFile file("sniper 1.5\n");
    WeaponTable weapons;
    weapons.ReadWeights(file.path);
    const std::uint32_t sniper = weapons.Intern("sniper")->value;
    EXPECT_EQ(get_weapon_weight(sniper), 1.0);
    WeaponTable::Install(&weapons);
    EXPECT_EQ(get_weapon_weight(sniper), 1.5);
    WeaponTable::Install(nullptr);
}

TEST(WeaponTableTest, BadLinesNameFileAndLine) {
    for (const auto& [contents, error] : std::vector<std::pair<std::string, std::string>>{
             {"rifle\n", ":1: expected \"WEAPON WEIGHT\""},
             {"rifle 1 2\n", ":1: expected"},
             {"\nrifle -0.5\n", ":2: weight must be a number, zero or more: -0.5"},
             {"rifle heavy\n", ":1: weight must be a number"},
             {"rifle inf\n", ":1: weight must be a number"},
             {"rifle nan\n", ":1: weight must be a number"},
             {"rifle 1\nrifle 2\n", ":2: weapon listed twice: rifle"},
         }) {
        TempFile file(contents);
        WeaponTable weapons;
        try {
            weapons.ReadWeights(file.path);
            ADD_FAILURE() << contents;
        } catch (const HostError& thrown) {
            EXPECT_NE(std::string(thrown.what()).find(file.path + error), std::string::npos)
                << thrown.what();
        }
    }
}

}  // namespace
