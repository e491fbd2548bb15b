#include "CommandLine.h"

#include <charconv>
#include <cmath>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

}  // namespace

std::string_view CommandLine::Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<CommandLine> CommandLine::Parse(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.starts_with("//") || line.front() == '#') return std::nullopt;
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    return CommandLine{line.substr(0, end), Trim(line.substr(end))};
}

std::string_view CommandLine::Unquote(std::string_view value, bool* wasQuoted) {
    value = Trim(value);
    bool quoted = !value.empty() && value.front() == '"';
    if (wasQuoted != nullptr) *wasQuoted = quoted;
    if (!quoted) return value;
    value.remove_prefix(1);
    size_t close = value.rfind('"');
    return close == std::string_view::npos ? value : value.substr(0, close);
}

std::optional<double> CommandLine::ParseNumber(std::string_view value) {
    value = Trim(value);
    if (value.starts_with('+')) value.remove_prefix(1);
    if (value.empty() || value.front() == '+') return std::nullopt;
    double number = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<int64_t> CommandLine::ParseInteger(std::string_view value) {
    value = Trim(value);
    if (value.starts_with('+')) value.remove_prefix(1);
    if (value.empty() || value.front() == '+') return std::nullopt;
    int64_t number = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return number;
}
