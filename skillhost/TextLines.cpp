#include "TextLines.h"

#include "HostError.h"

#include <cerrno>
#include <cmath>
#include <cstring>

TextLines::TextLines(const std::string& path) : path(path), in(path) {
    if (!in) throw HostError("cannot open " + path + ": " + std::strerror(errno));
}

bool TextLines::ReadLine() {
    line.clear();
    for (char c; in.get(c);) {
        if (c == '\n') return true;
        if (line.size() == kMaxLength) {
            throw HostError::AtLine(path, lineNumber + 1,
                                    "line longer than " + std::to_string(kMaxLength) + " bytes");
        }
        line += c;
    }
    return !line.empty();
}

bool TextLines::Next(std::vector<std::string_view>& tokens) {
    while (ReadLine()) {
        ++lineNumber;
        tokens.clear();
        std::string_view rest(line);
        while (!rest.empty()) {
            const std::size_t start = rest.find_first_not_of(" \t\r");
            if (start == std::string_view::npos) break;
            rest.remove_prefix(start);
            const std::size_t end = std::min(rest.find_first_of(" \t\r"), rest.size());
            tokens.push_back(rest.substr(0, end));
            rest.remove_prefix(end);
        }
        if (tokens.empty() || tokens.front().front() == '#') continue;
        return true;
    }
    if (in.bad()) throw HostError("cannot read " + path + ": " + std::strerror(errno));
    return false;
}

std::optional<double> TextLines::ParseReal(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}
