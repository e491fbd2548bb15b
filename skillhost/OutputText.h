// How names and numbers are written out: names are bytes, shown by the byte text rule in every
// format and quoted as each format needs; numbers never go through the C or C++ locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <iterator>
#include <string>

namespace output_text {

template <typename Number>
std::string Digits(Number value) {
    char text[24];
    return std::string(text, std::to_chars(std::begin(text), std::end(text), value).ptr);
}

// Every format prints ratings alike: the shortest text that reads back as the same double
// ("1010" for a whole one), "null" when not finite.
std::string Rating(double value);

// For the terminal: no control character reaches it raw, where it could move the cursor or start
// an escape sequence.
std::string TerminalText(const std::string& bytes);
// Characters, not bytes, for padding columns.
std::size_t Width(const std::string& utf8);

// Quoted when it must be; a cell a spreadsheet would run as a formula (one that begins with =, +,
// -, @, a tab or a carriage return) starts with a ' instead, and control bytes show as \xNN.
std::string CsvField(const std::string& bytes);
std::string JsonString(const std::string& bytes);
std::string HtmlText(const std::string& bytes);

}  // namespace output_text
