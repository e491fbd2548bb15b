// The fields of the settings sheet as data, for every front end: for each setting the sheet edits,
// its page, the kind of value it takes and its limits, and the one check that answers the sheet's
// own refusal text. The sheet's pages check their controls with it, and the core checks what the
// web admin sends with it, so a value refused in one is refused in the other with the same words.
#pragma once

#include <QString>
#include <cstdint>
#include <span>

#include "SettingChange.h"
#include "SettingsValues.h"

// The sheet's four pages.
enum class SettingGroup { Server, Rules, TeamRules, Advanced };

enum class SettingKind {
    Text,       // the engine's 8-bit text, at most maxCharacters
    Password,   // a text as above of at least 6 characters, or empty for none
    Integer,    // a whole number within minimum..maximum, in at most maxCharacters when that is set
    Switch,     // 0 or 1
    Percent,    // a slider position within minimum..maximum; the engine keeps position × 0.01
    Bandwidth,  // the index of a bandwidth preset, 0..5 (5 is CUSTOM)
};

struct SettingField {
    Setting setting;
    SettingGroup group;
    SettingKind kind;
    const char* label;  // how a refusal names the field: "Server Name"
    int32_t minimum = 0, maximum = 0;
    int maxCharacters = 0;  // texts: what reads back whole; numbers: what the edit takes; 0: any
};

// Every field, page by page in the sheet's order.
std::span<const SettingField> SettingFields();
const SettingField& FieldOf(Setting setting);
const char* GroupName(SettingGroup group);  // "Server", "Rules", "Team Rules", "Advanced"
const char* KindName(SettingKind kind);     // "text", "password", "integer", ...

enum class FieldProblem {
    None,
    TooLong,          // "Please enter no more than %1 characters."
    NotInteger,       // "Please enter an integer."
    OutOfRange,       // beyond what the sheet's control can hold
    UnsafeCharacter,  // a double quote or a control character
    NotLatin1,        // the engine keeps 8-bit text
    ShortPassword,    // "Password must be at least 6 characters in length."
};

// What the sheet refuses in a control that holds `shown`: a text as typed, a number in decimal.
// A password's length is checked last, after everything else about it.
FieldProblem CheckField(const SettingField& field, const QString& shown);
// The sheet's words for the problem.
QString RefusalMessage(const SettingField& field, FieldProblem problem);

// One field as a front end gives it: what its control would show.
struct SettingEdit {
    Setting setting;
    QString shown;
};
// The store's change for a value that passed CheckField: texts in Latin-1, slider positions as
// the ratio the engine keeps.
SettingChange ToSettingChange(const SettingField& field, const QString& shown);
// A number the store holds as its control shows it; empty for a text.
QString ShownNumber(const SettingField& field, const SettingsValues& values);
