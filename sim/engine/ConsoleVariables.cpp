#include "ConsoleVariables.h"

#include <charconv>
#include <cstdlib>

namespace {

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

bool ConsoleVariables::IsUsableName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '+') return false;
    for (unsigned char c : name) {
        if (c <= ' ' || c == '"' || c == 0x7f) return false;
    }
    return true;
}

std::string ConsoleVariables::FormatNumber(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

uint32_t ConsoleVariables::Find(std::string_view name) const {
    if (name.empty() || name.size() > kMaxNameLength) return 0;
    auto it = index.find(LowerCase(name));
    return it == index.end() ? 0 : it->second;
}

const ConsoleVariable* ConsoleVariables::Get(uint32_t handle) const {
    return handle == 0 || handle > variables.size() ? nullptr : &variables[handle - 1];
}

ConsoleVariable* ConsoleVariables::Get(uint32_t handle) {
    return handle == 0 || handle > variables.size() ? nullptr : &variables[handle - 1];
}

ConsoleVariable* ConsoleVariables::FindOrCreate(std::string_view name) {
    if (!IsUsableName(name)) return nullptr;
    std::string key = LowerCase(name);
    auto it = index.find(key);
    if (it != index.end()) return &variables[it->second - 1];
    if (variables.size() >= kMaxVariables) return nullptr;
    variables.push_back(ConsoleVariable{std::string(name), std::string(), 0, false, 0});
    index.emplace(std::move(key), static_cast<uint32_t>(variables.size()));
    return &variables.back();
}

bool ConsoleVariables::SetNumber(std::string_view name, double value) {
    ConsoleVariable* variable = FindOrCreate(name);
    if (variable == nullptr) return false;
    variable->number = value;
    variable->text = FormatNumber(value);
    variable->isText = false;
    return true;
}

bool ConsoleVariables::SetText(std::string_view name, std::string_view text) {
    ConsoleVariable* variable = FindOrCreate(name);
    if (variable == nullptr) return false;
    variable->text = std::string(text.substr(0, kMaxTextLength));
    // A text's number is its leading numeric part, as atof reads it.
    variable->number = std::strtod(variable->text.c_str(), nullptr);
    variable->isText = true;
    return true;
}
