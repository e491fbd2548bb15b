// How text from the engine, a file or the network is shown on a screen or written to a log line:
// by the byte text rule (ByteText.h), with every character that could break the line, steer a
// terminal or reorder or hide what is shown written as an escape instead. These are the C0 and
// C1 controls and DEL, the line and paragraph separators, the bidirectional marks, embeddings,
// overrides and isolates, and the invisible format characters that let two texts look alike
// (soft hyphen, zero-width space, word joiner and the invisible operators, the byte order mark,
// the interlinear annotation marks, the tag characters). The zero-width joiner and non-joiner
// stay: scripts and emoji need them, and they cannot move or hide other text.
//
// Escapes are JSON's: \b \f \n \r \t, else \uXXXX (a surrogate pair beyond U+FFFF), so a JSON log
// line stays valid and every front end writes the same text for the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ByteText.h"

namespace safe_text {

inline constexpr bool IsHidden(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || c == 0x61C || c == 0x180E ||
           (c >= 0x200B && c <= 0x200F && c != 0x200C && c != 0x200D) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0xE0000 && c <= 0xE007F);
}

// What is escaped besides the hidden characters: nothing on a screen; the backslash in a text
// log, so that every escape there reads back exactly; the double quote as well inside a JSON
// string.
enum class Form { Screen, LogText, JsonString };

namespace detail {

inline char32_t Decode(std::string_view character) {
    const auto at = [&](std::size_t i) { return static_cast<uint8_t>(character[i]); };
    switch (character.size()) {
        case 1:
            return at(0);
        case 2:
            return (char32_t(at(0) & 0x1F) << 6) | (at(1) & 0x3F);
        case 3:
            return (char32_t(at(0) & 0x0F) << 12) | (char32_t(at(1) & 0x3F) << 6) | (at(2) & 0x3F);
        default:
            return (char32_t(at(0) & 0x07) << 18) | (char32_t(at(1) & 0x3F) << 12) |
                   (char32_t(at(2) & 0x3F) << 6) | (at(3) & 0x3F);
    }
}

// A UTF-16 code unit as \uXXXX.
inline void AppendUnit(std::string& out, char32_t unit) {
    constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

inline void AppendEscape(std::string& out, char32_t c) {
    switch (c) {
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (c > 0xFFFF) {
        const char32_t offset = c - 0x10000;
        AppendUnit(out, 0xD800 + (offset >> 10));
        AppendUnit(out, 0xDC00 + (offset & 0x3FF));
    } else {
        AppendUnit(out, c);
    }
}

}  // namespace detail

// Appends the safe form of `bytes` to `out`; the result is valid UTF-8 without a hidden character.
inline void Append(std::string& out, std::string_view bytes, Form form) {
    const std::string text = byte_text::ToUtf8(bytes);
    std::string_view rest = text;
    while (!rest.empty()) {
        // ToUtf8's result is well-formed, so every step finds a whole character.
        const std::size_t length = byte_text::Utf8CharacterLength(rest);
        const std::string_view character = rest.substr(0, length);
        const char32_t c = detail::Decode(character);
        if (IsHidden(c)) {
            detail::AppendEscape(out, c);
        } else if ((c == '\\' && form != Form::Screen) || (c == '"' && form == Form::JsonString)) {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            out += character;
        }
        rest.remove_prefix(length);
    }
}

inline std::string ForScreen(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    Append(out, bytes, Form::Screen);
    return out;
}

}  // namespace safe_text
