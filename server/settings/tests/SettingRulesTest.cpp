#include "SettingRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "SettingFields.h"

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
    // clang-format off
    const std::pair<const char*, int32_t> atoi[] = {
        {"  \t12abc", 12}, {"-7", -7}, {"+5", 5}, {"", 0}, {"-", 0}, {"x12", 0},
        {"2147483648", kMax}, {"-99999999999999999999", kMin}};
    for (auto [text, value] : atoi) EXPECT_EQ(AtoiText(std::string_view(text)), value) << text;
    const std::pair<const char*, std::optional<int32_t>> exchange[] = {
        {" 12 ", 12}, {"-5", -5}, {"", std::nullopt}, {"-", std::nullopt}, {"12a", std::nullopt},
        {"1 2", std::nullopt}, {"2147483648", std::nullopt}};
    // clang-format on
    for (auto [text, value] : exchange)
        EXPECT_EQ(ParseExchangeInteger(QString::fromLatin1(text)), value) << text;
}

// Every kind at its edges, with the words the sheet shows (SettingsSheetTest sees the same words
// in its boxes) and the web admin answers.
TEST(SettingFieldsTest, EachKindsEdgesAnswerTheSheetsOwnWords) {
    using P = FieldProblem;
    const QString kTooLong = QStringLiteral("Please enter no more than %1 characters.");
    const QString kUnsafe =
        QStringLiteral("The %1 cannot contain double quotes or control characters.");
    struct Case {
        Setting setting;
        QString shown;
        P problem;
        QString message;
    };
    // clang-format off
    const Case cases[] = {
        {Setting::ServerName, QString(63, u'n'), P::None, {}},
        {Setting::ServerName, QString(64, u'n'), P::TooLong, kTooLong.arg(63)},
        {Setting::AdminName, QStringLiteral("caf\u00e9"), P::None, {}},
        {Setting::AdminName, QStringLiteral("a\"b"), P::UnsafeCharacter, kUnsafe.arg("Admin Name")},
        {Setting::AdminEmail, QStringLiteral("a\tb"), P::UnsafeCharacter,
         kUnsafe.arg("Admin Email")},
        {Setting::ServerWebsite, QStringLiteral("\u20ac\""), P::UnsafeCharacter,
         kUnsafe.arg("Server Website")},
        {Setting::ServerWebsite, QStringLiteral("\u20ac"), P::NotLatin1,
         QStringLiteral("The Server Website can only hold Latin-1 characters.")},
        {Setting::ServerPassword, QString(), P::None, {}},
        {Setting::ServerPassword, QStringLiteral("12345"), P::ShortPassword,
         QStringLiteral("Password must be at least 6 characters in length.")},
        {Setting::ServerPassword, QStringLiteral("123456"), P::None, {}},
        {Setting::RemoteAdminPassword, QString(32, u'r'), P::TooLong, kTooLong.arg(31)},
        {Setting::MaxPlayers, QStringLiteral(" 2 "), P::None, {}},
        {Setting::MaxPlayers, QStringLiteral("25"), P::OutOfRange,
         QStringLiteral("Please enter an integer between 2 and 24.")},
        {Setting::TimeLimit, QStringLiteral("1.5"), P::NotInteger,
         QStringLiteral("Please enter an integer.")},
        {Setting::TimeLimit, QStringLiteral("-1"), P::OutOfRange,
         QStringLiteral("Please enter an integer between 0 and 2147483647.")},
        {Setting::TeamFlip, QStringLiteral("2"), P::OutOfRange,
         QStringLiteral("Please enter an integer between 0 and 1.")},
        {Setting::MirrorDamagePercent, QStringLiteral("0"), P::OutOfRange,
         QStringLiteral("Please enter an integer between 1 and 200.")},
        {Setting::MirrorCash, QStringLiteral("9999"), P::None, {}},
        {Setting::MirrorCash, QStringLiteral("10000"), P::TooLong, kTooLong.arg(4)},
        {Setting::ServerBandwidth, QStringLiteral("6"), P::OutOfRange,
         QStringLiteral("Please enter an integer between 0 and 5.")},
    };
    // clang-format on
    for (const Case& c : cases) {
        const SettingField& field = FieldOf(c.setting);
        EXPECT_EQ(CheckField(field, c.shown), c.problem) << VariableName(c.setting);
        EXPECT_EQ(RefusalMessage(field, c.problem), c.message) << VariableName(c.setting);
    }

    int perGroup[4] = {};
    for (const SettingField& field : SettingFields()) ++perGroup[static_cast<int>(field.group)];
    EXPECT_EQ(std::vector<int>(perGroup, perGroup + 4), (std::vector<int>{6, 6, 8, 11}));

    // What is applied is what the sheet applies: a slider position as its ratio, texts as bytes.
    const SettingChange ratio = ToSettingChange(FieldOf(Setting::PlayerKickVote), "60");
    EXPECT_EQ(std::get<float>(ratio.value), 0.59999996f);
    const SettingChange text = ToSettingChange(FieldOf(Setting::ServerName), "Caf\u00e9");
    EXPECT_EQ(std::get<std::string>(text.value), "Caf\xe9");
    SettingsValues values;
    values.playerkickvote = 0.59999996f;
    values.serverbandwidth = 9;
    EXPECT_EQ(ShownNumber(FieldOf(Setting::PlayerKickVote), values), "60");
    EXPECT_EQ(ShownNumber(FieldOf(Setting::ServerBandwidth), values), "2");
}
