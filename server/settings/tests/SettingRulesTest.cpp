#include "SettingRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace SettingRules;
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(SettingRulesTest, PercentSliderRoundTripsEveryPosition) {
    EXPECT_EQ(PercentSliderPosition(0.6f), 60);
    EXPECT_EQ(PercentSliderPosition(0.29f), 29);  // 0.289999992...
    EXPECT_EQ(PercentSliderPosition(1e30f), kMax);
    EXPECT_EQ(PercentSliderPosition(std::nanf("")), 0);
    EXPECT_EQ(PercentSliderValue(60), 0.59999996f);
    EXPECT_EQ(PercentSliderValue(50), 0.5f);
    for (int position = 0; position <= 100; ++position) {
        float ratio = PercentSliderValue(position);
        for (int visit = 0; visit < 3; ++visit)
            ratio = PercentSliderValue(PercentSliderPosition(ratio));
        EXPECT_EQ(PercentSliderPosition(ratio), position);
    }
}

TEST(SettingRulesTest, IntegerReadings) {
    const std::pair<const char*, int32_t> atoi[] = {{"  \t12abc", 12},
                                                    {"-7", -7},
                                                    {"+5", 5},
                                                    {"", 0},
                                                    {"-", 0},
                                                    {"x12", 0},
                                                    {"2147483648", kMax},
                                                    {"-99999999999999999999", kMin}};
    for (auto [text, value] : atoi) EXPECT_EQ(AtoiText(std::string_view(text)), value) << text;
    const std::pair<const char*, std::optional<int32_t>> exchange[] = {
        {" 12 ", 12},
        {"-5", -5},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"2147483648", std::nullopt}};
    for (auto [text, value] : exchange)
        EXPECT_EQ(ParseExchangeInteger(QString::fromLatin1(text)), value) << text;
}

TEST(SettingRulesTest, SettingTextAndPasswordChecks) {
    EXPECT_EQ(CheckSettingText(QString(63, u'a'), 63), TextProblem::None);
    EXPECT_EQ(CheckSettingText(QString(64, u'a'), 63), TextProblem::TooLong);
    EXPECT_EQ(CheckSettingText(QStringLiteral("caf\u00e9"), 31), TextProblem::None);
    EXPECT_EQ(CheckSettingText(QStringLiteral("a\"b"), 63), TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QStringLiteral("a\tb"), 63), TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QStringLiteral("\u20ac5"), 63), TextProblem::NotLatin1);
    EXPECT_EQ(CheckSettingText(QStringLiteral("\u20ac\""), 63), TextProblem::UnsafeCharacter);
    EXPECT_FALSE(IsShortPassword(QString()));
    EXPECT_TRUE(IsShortPassword(QStringLiteral("12345")));
    EXPECT_FALSE(IsShortPassword(QStringLiteral("123456")));
}
