// The settings' rules that need no widgets, for the settings sheet and the web admin alike: slider
// conversions, the integer readings of text fields, and the checks a value passes before it is
// sent.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

namespace SettingRules {

// A percentage slider shows the stored ratio times 100, formed in double and rounded to the
// nearest position, so that what a position applies opens at that position again.
int PercentSliderPosition(float stored);
// position × 0.01f, rounded to float: 60 gives 0.59999996f.
float PercentSliderValue(int position);

// C atoi: leading blanks, an optional sign, digits up to the first non-digit; no digits gives 0.
// Beyond 32 bits it saturates instead of overflowing.
int32_t AtoiText(std::string_view text);
int32_t AtoiText(const QString& text);

// A field that must hold an integer: blanks around it, an optional sign and at least one digit,
// nothing else, within 32 bits.
std::optional<int32_t> ParseExchangeInteger(const QString& text);

enum class TextProblem {
    None,
    TooLong,          // more characters than the field reads back whole
    UnsafeCharacter,  // a double quote or a control character would break the quoted command
    NotLatin1,        // the engine keeps 8-bit text
};
TextProblem CheckSettingText(const QString& text, int maxCharacters);

// Only a password that is set and shorter than 6 characters is refused; empty means none.
bool IsShortPassword(const QString& password);

inline constexpr int kMinimumPasswordLength = 6;

QString TooManyCharactersMessage(int maxCharacters);
QString NotIntegerMessage();
// Beyond what a slider, a switch or a digits-only edit of the sheet can hold.
QString OutOfRangeMessage(int32_t minimum, int32_t maximum);
QString ShortPasswordMessage();
QString ErrorCaption();
QString UnsafeTextMessage(const QString& fieldName);
QString NotLatin1Message(const QString& fieldName);

}  // namespace SettingRules
