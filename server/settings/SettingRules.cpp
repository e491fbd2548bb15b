#include "SettingRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace SettingRules {

int PercentSliderPosition(float stored) {
    // Rounded, not truncated: a stored 0.59999996f (what position 60 applies) must open at 60
    // again, or every visit to the page would lower the ratio by a point.
    const double product = std::round(static_cast<double>(stored) * 100.0);
    // A configuration file may hold anything; the slider clamps what is left.
    if (!(product == product)) return 0;
    if (product >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (product <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(product);
}

float PercentSliderValue(int position) {
    return static_cast<float>(static_cast<double>(position) * static_cast<double>(0.01f));
}

int32_t AtoiText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

int32_t AtoiText(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return AtoiText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

std::optional<int32_t> ParseExchangeInteger(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) ++i;
    if (i == trimmed.size()) return std::nullopt;
    for (qsizetype j = i; j < trimmed.size(); ++j)
        if (trimmed[j] < u'0' || trimmed[j] > u'9') return std::nullopt;
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

TextProblem CheckSettingText(const QString& text, int maxCharacters) {
    if (text.size() > maxCharacters) return TextProblem::TooLong;
    bool notLatin1 = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 32 || u == 127 || u == u'"') return TextProblem::UnsafeCharacter;
        if (u > 0xFF) notLatin1 = true;
    }
    return notLatin1 ? TextProblem::NotLatin1 : TextProblem::None;
}

bool IsShortPassword(const QString& password) {
    return !password.isEmpty() && password.size() < kMinimumPasswordLength;
}

QString TooManyCharactersMessage(int maxCharacters) {
    return QStringLiteral("Please enter no more than %1 characters.").arg(maxCharacters);
}
QString NotIntegerMessage() {
    return QStringLiteral("Please enter an integer.");
}
QString OutOfRangeMessage(int32_t minimum, int32_t maximum) {
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum);
}
QString ShortPasswordMessage() {
    return QStringLiteral("Password must be at least 6 characters in length.");
}
QString ErrorCaption() {
    return QStringLiteral("Error");
}
QString UnsafeTextMessage(const QString& fieldName) {
    return QStringLiteral("The %1 cannot contain double quotes or control characters.")
        .arg(fieldName);
}
QString NotLatin1Message(const QString& fieldName) {
    return QStringLiteral("The %1 can only hold Latin-1 characters.").arg(fieldName);
}

}  // namespace SettingRules
