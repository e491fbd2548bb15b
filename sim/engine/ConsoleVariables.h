// The engine's console variables: names compared without regard to case, each holding a text,
// a number and 32-bit flags, reached through stable nonzero handles.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct ConsoleVariable {
    std::string name;  // spelling of the first definition
    std::string text;
    double number = 0;
    bool isText = false;  // last set as a text, so it is written back as one
    uint32_t flags = 0;
};

class ConsoleVariables {
public:
    static constexpr size_t kMaxVariables = 4096;
    static constexpr size_t kMaxNameLength = 63;
    static constexpr size_t kMaxTextLength = 1023;

    // 0 when there is no such variable.
    uint32_t Find(std::string_view name) const;
    const ConsoleVariable* Get(uint32_t handle) const;
    ConsoleVariable* Get(uint32_t handle);
    const ConsoleVariable* Get(std::string_view name) const { return Get(Find(name)); }

    // Both create the variable when needed; false when the name is unusable or the table is full.
    bool SetNumber(std::string_view name, double value);
    bool SetText(std::string_view name, std::string_view text);

    // In creation order, for writing the configuration.
    const std::vector<ConsoleVariable>& All() const { return variables; }

    static bool IsUsableName(std::string_view name);
    // Shortest text that reads back as the same double.
    static std::string FormatNumber(double value);

private:
    ConsoleVariable* FindOrCreate(std::string_view name);

    std::vector<ConsoleVariable> variables;           // handle - 1
    std::unordered_map<std::string, uint32_t> index;  // lower-case name -> handle
};
