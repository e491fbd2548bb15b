#include "LogHead.h"

#include <charconv>
#include <ctime>

namespace {

std::string Hex(std::uint64_t value) {
    char text[17];
    const auto end = std::to_chars(text, text + 16, value, 16).ptr;
    return std::string(text, end);
}

template <typename Number>
bool Read(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "YYYY-MM-DDTHH:MM:SSZ" as Unix seconds.
std::optional<std::int64_t> UtcTime(std::string_view text) {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    std::tm time{};
    if (!Read(text.substr(0, 4), time.tm_year) || !Read(text.substr(5, 2), time.tm_mon) ||
        !Read(text.substr(8, 2), time.tm_mday) || !Read(text.substr(11, 2), time.tm_hour) ||
        !Read(text.substr(14, 2), time.tm_min) || !Read(text.substr(17, 2), time.tm_sec) ||
        time.tm_mon < 1 || time.tm_mon > 12 || time.tm_mday < 1 || time.tm_mday > 31 ||
        time.tm_hour > 23 || time.tm_min > 59 || time.tm_sec > 60) {
        return std::nullopt;
    }
    time.tm_year -= 1900;
    time.tm_mon -= 1;
    return static_cast<std::int64_t>(timegm(&time));
}

}  // namespace

std::uint64_t LogHead::Hash(std::string_view bytes, std::uint64_t hash) {
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<LogHead> LogHead::Parse(std::string_view text, bool finished, bool mayBeShort) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size() && lines.size() < kMaxLines;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            if (finished) lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty()) return std::nullopt;
    LogHead head;
    head.firstLine = lines[0];

    const std::string_view first = lines[0];
    constexpr std::string_view kMatch = "# Tarnwick match ";
    const std::size_t open = first.find(" (");
    const std::size_t close = first.find(") on ");
    if (first.starts_with(kMatch) && open != std::string_view::npos &&
        close != std::string_view::npos && open < close) {
        const std::string_view id = first.substr(open + 2, close - open - 2);
        const bool hex = !id.empty() && id.size() <= 32 &&
                         id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
        if (hex) {
            head.identities.push_back("match:" + std::string(id));
            std::string_view rest = first.substr(close + 5);
            const std::size_t started = rest.rfind(", started ");
            if (started != std::string_view::npos) {
                head.started = UtcTime(rest.substr(started + 10));
                rest = rest.substr(0, started);
            }
            head.map = rest;
            return head;
        }
    }
    if (lines.size() < kMaxLines && !mayBeShort) return std::nullopt;
    std::uint64_t hash = Hash({});
    std::vector<std::string> shorter;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        hash = Hash("\n", Hash(lines[i], hash));
        shorter.push_back("head:" + std::to_string(i + 1) + ":" + Hex(hash));
    }
    head.identities.assign(shorter.rbegin(), shorter.rend());
    return head;
}
