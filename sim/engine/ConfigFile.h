// The configuration file is a console script: one command per line that sets a variable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ConsoleVariables.h"

class ConfigFile {
public:
    static constexpr size_t kMaxLineLength = 2047;  // room for a full-length text and its name
    static constexpr size_t kMaxLines = 65536;

    // The command that sets the variable back to its value.
    static std::string CommandFor(const ConsoleVariable& variable);

    // Writes every variable whose flags hold all bits of flagMask through a temporary file in
    // the same directory, renamed over the old one; mode 0600. False when nothing was replaced.
    static bool Write(const ConsoleVariables& variables, const std::string& path,
                      uint32_t flagMask);

    // Calls runLine for each line (without its line break; a line is cut at a zero byte).
    // Over-long lines are reported through reject and skipped. False when the file cannot be
    // opened.
    static bool Read(const std::string& path, const std::function<void(std::string_view)>& runLine,
                     const std::function<void(size_t lineNumber)>& reject);
};
