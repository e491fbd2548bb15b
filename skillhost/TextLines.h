// Reads a whitespace-separated text file line by line, skipping blank lines and '#' comments.
// Lines are at most kMaxLength bytes.
#pragma once

#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TextLines {
public:
    static constexpr std::size_t kMaxLength = 4096;

    explicit TextLines(const std::string& path);

    // The next line's tokens; false at the end of the file.
    bool Next(std::vector<std::string_view>& tokens);
    std::size_t LineNumber() const { return lineNumber; }
    const std::string& Path() const { return path; }

    template <typename Number>
    static std::optional<Number> ParseWhole(std::string_view text) {
        Number value{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
        return value;
    }
    static std::optional<double> ParseReal(std::string_view text);

private:
    bool ReadLine();

    std::string path;
    std::ifstream in;
    std::string line;
    std::size_t lineNumber = 0;
};
