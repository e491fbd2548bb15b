// Splits one console line into its command word and the rest, and reads the values that
// commands take. Works on views only: nothing here needs a terminating NUL.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct CommandLine {
    std::string_view word;   // first token, "+" included for the text form
    std::string_view value;  // the rest, trimmed of blanks; quotes still on

    // Empty (blank or comment) lines give nothing.
    static std::optional<CommandLine> Parse(std::string_view line);

    // A value in double quotes loses them: from the first quote to the last one, or to the end
    // when the closing quote is missing.
    static std::string_view Unquote(std::string_view value, bool* wasQuoted = nullptr);
    // The whole value as a finite number, or nothing.
    static std::optional<double> ParseNumber(std::string_view value);
    // The whole value as a decimal integer in range, or nothing.
    static std::optional<int64_t> ParseInteger(std::string_view value);

    static std::string_view Trim(std::string_view text);
};
