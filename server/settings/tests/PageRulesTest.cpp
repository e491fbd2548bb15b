#include "PageRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace PageRules;

TEST(PercentSliderTest, StoredRatiosOpenAtTheNearestPosition) {
    EXPECT_EQ(PercentSliderPosition(0.6f), 60);         // 0.6f lies just above 0.6
    EXPECT_EQ(PercentSliderPosition(0.59999996f), 60);  // and this just below
    EXPECT_EQ(PercentSliderPosition(0.5f), 50);
    EXPECT_EQ(PercentSliderPosition(0.29f), 29);  // 0.29f is 0.289999992...
    EXPECT_EQ(PercentSliderPosition(2.0f), 200);
    EXPECT_EQ(PercentSliderPosition(0.554f), 55);
}

TEST(PercentSliderTest, GarbageFromTheFileStaysWithinInt) {
    EXPECT_EQ(PercentSliderPosition(1e30f), std::numeric_limits<int>::max());
    EXPECT_EQ(PercentSliderPosition(-1e30f), std::numeric_limits<int>::min());
    EXPECT_EQ(PercentSliderPosition(std::nanf("")), 0);
}

TEST(PercentSliderTest, ApplyingMultipliesByTheFloatHundredthAndRoundsToFloat) {
    EXPECT_EQ(PercentSliderValue(60), 0.59999996f);
    EXPECT_NE(PercentSliderValue(60), 0.6f);
    EXPECT_EQ(PercentSliderValue(50), 0.5f);
    EXPECT_EQ(PercentSliderValue(0), 0.0f);
    EXPECT_EQ(PercentSliderValue(200), 2.0f);
}

TEST(PercentSliderTest, EveryPositionSurvivesAnyNumberOfVisits) {
    for (int position = 0; position <= 100; ++position) {
        float ratio = PercentSliderValue(position);
        for (int visit = 0; visit < 3; ++visit) ratio = PercentSliderValue(PercentSliderPosition(ratio));
        EXPECT_EQ(PercentSliderPosition(ratio), position);
    }
}

TEST(AtoiTextTest, ReadsLeadingBlanksSignAndDigitsUpToTheFirstOther) {
    EXPECT_EQ(AtoiText(std::string_view("45")), 45);
    EXPECT_EQ(AtoiText(std::string_view("  \t12abc")), 12);
    EXPECT_EQ(AtoiText(std::string_view("-7")), -7);
    EXPECT_EQ(AtoiText(std::string_view("+5")), 5);
    EXPECT_EQ(AtoiText(std::string_view("007")), 7);
    EXPECT_EQ(AtoiText(std::string_view("1 2")), 1);
}

TEST(AtoiTextTest, NoLeadingDigitsGivesZero) {
    EXPECT_EQ(AtoiText(std::string_view("")), 0);
    EXPECT_EQ(AtoiText(QString()), 0);
    EXPECT_EQ(AtoiText(std::string_view("abc")), 0);
    EXPECT_EQ(AtoiText(std::string_view("-")), 0);
    EXPECT_EQ(AtoiText(std::string_view("x12")), 0);
}

TEST(AtoiTextTest, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(AtoiText(std::string_view("2147483647")), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(AtoiText(std::string_view("2147483648")), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(AtoiText(std::string_view("-2147483648")), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(AtoiText(QStringLiteral("99999999999999999999")),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(AtoiText(QStringLiteral("-99999999999999999999")),
              std::numeric_limits<int32_t>::min());
}

TEST(ExchangeIntegerTest, AcceptsOnlyASignedNumberWithinThirtyTwoBits) {
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("50")), 50);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral(" 12 ")), 12);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("-5")), -5);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("0000")), 0);
    EXPECT_EQ(ParseExchangeInteger(QString()), std::nullopt);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("   ")), std::nullopt);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("-")), std::nullopt);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("12a")), std::nullopt);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("1 2")), std::nullopt);
    EXPECT_EQ(ParseExchangeInteger(QStringLiteral("2147483648")), std::nullopt);
}

TEST(SettingTextTest, LimitsCountCharactersAndTheLimitItselfFits) {
    EXPECT_EQ(CheckSettingText(QString(63, u'a'), 63), TextProblem::None);
    EXPECT_EQ(CheckSettingText(QString(64, u'a'), 63), TextProblem::TooLong);
    EXPECT_EQ(CheckSettingText(QString(), 31), TextProblem::None);
    EXPECT_EQ(CheckSettingText(QStringLiteral("caf\u00e9 \u00ff"), 31), TextProblem::None);
    EXPECT_EQ(TooManyCharactersMessage(9),
              QStringLiteral("Please enter no more than 9 characters."));
}

TEST(SettingTextTest, RefusesWhatWouldBreakTheQuotedCommandOrNotFitEightBits) {
    EXPECT_EQ(CheckSettingText(QStringLiteral("my \"best\" server"), 63),
              TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QStringLiteral("a\nquit"), 63), TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QStringLiteral("a\tb"), 63), TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QString(QChar(127)), 63), TextProblem::UnsafeCharacter);
    EXPECT_EQ(CheckSettingText(QStringLiteral("\u20ac5"), 63), TextProblem::NotLatin1);
    // A quote anywhere wins over a wide character before it.
    EXPECT_EQ(CheckSettingText(QStringLiteral("\u20ac\""), 63), TextProblem::UnsafeCharacter);
}

TEST(PasswordTest, OnlySetPasswordsUnderSixCharactersAreShort) {
    EXPECT_FALSE(IsShortPassword(QString()));
    EXPECT_TRUE(IsShortPassword(QStringLiteral("a")));
    EXPECT_TRUE(IsShortPassword(QStringLiteral("12345")));
    EXPECT_FALSE(IsShortPassword(QStringLiteral("123456")));
}
