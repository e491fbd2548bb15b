// How this system shows text that arrives as bytes: player names, world names and console lines
// from the engine, names from an event log. Such text carries no encoding of its own, so one rule
// serves everywhere it is shown or exported: every well-formed UTF-8 character is that character,
// and every other byte is the Latin-1 character of the same value. Pure ASCII and valid UTF-8
// read as written, legacy 8-bit names still show every byte, and the result is always valid
// UTF-8. The bytes themselves are never rewritten: whatever goes back to the engine is the
// original text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace byte_text {

// Length of the well-formed UTF-8 character at the start of `bytes`, or 0 when it is not one
// (shortest form only, no surrogates, nothing beyond U+10FFFF). ASCII counts as length 1.
inline std::size_t Utf8CharacterLength(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<uint8_t>(bytes[i]); };
    if (bytes.empty()) return 0;
    const uint8_t lead = at(0);
    if (lead < 0x80) return 1;
    std::size_t length;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return length;
}

// The text of `bytes` under the rule above, as UTF-8.
inline std::string ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        std::size_t length = Utf8CharacterLength(bytes);
        if (length != 0) {
            text.append(bytes.substr(0, length));
        } else {
            const auto byte = static_cast<uint8_t>(bytes[0]);
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
            length = 1;
        }
        bytes.remove_prefix(length);
    }
    return text;
}

// A to Z become a to z; every other byte stays, whatever the locale: how world names and command
// words compare.
inline std::string LowercaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace byte_text
