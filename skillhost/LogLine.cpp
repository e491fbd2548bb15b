#include "LogLine.h"

#include <charconv>
#include <string>

namespace {

constexpr std::string_view kBlanks = " \t\r";

// The next token of `rest`, which then starts right after it.
std::string_view NextToken(std::string_view& rest) {
    const std::size_t start = rest.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find_first_of(kBlanks), rest.size());
    const std::string_view token = rest.substr(0, end);
    rest.remove_prefix(end);
    return token;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

template <typename Number>
std::optional<Number> Whole(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::uint32_t Key(std::string_view text) {
    const auto key = Whole<std::uint32_t>(text);
    if (!key) throw LogLineError("not a player key (0 to 4294967295): " + std::string(text));
    return *key;
}

}  // namespace

LogLine LogLine::Parse(std::string_view text) {
    if (text.size() > kMaxLength) {
        throw LogLineError("line longer than " + std::to_string(kMaxLength) + " bytes");
    }
    LogLine line;
    std::string_view rest = text;
    const std::string_view kind = NextToken(rest);
    if (kind.empty() || kind.front() == '#') return line;
    std::string_view tokens[4];
    int count = 0;
    if (kind == "player") {
        for (; count < 3 && !(tokens[count] = NextToken(rest)).empty(); ++count) {
        }
        if (count < 3) throw LogLineError("expected \"player KEY ALT_KEY GROUP [NAME]\"");
        line.kind = Kind::Player;
        line.key = Key(tokens[0]);
        line.altKey = Key(tokens[1]);
        line.group = tokens[2];
        line.name = Trimmed(rest);
        if (line.name.empty()) line.name = tokens[0];
        return line;
    }
    if (kind == "at" || kind == "leave") {
        const std::string_view value = NextToken(rest);
        if (value.empty() || !NextToken(rest).empty()) {
            throw LogLineError(kind == "at" ? "expected \"at SECONDS\"" : "expected \"leave KEY\"");
        }
        if (kind == "leave") {
            line.kind = Kind::Leave;
            line.first = Key(value);
            return line;
        }
        const auto seconds = Whole<std::uint32_t>(value);
        if (!seconds) throw LogLineError("not a number of seconds: " + std::string(value));
        line.kind = Kind::At;
        line.seconds = *seconds;
        return line;
    }
    if (kind != "event") {
        throw LogLineError("unknown line kind \"" + std::string(kind) +
                           "\" (expected player, event, at or leave)");
    }
    for (; count < 4 && !(tokens[count] = NextToken(rest)).empty(); ++count) {
    }
    if (count < 3 || !NextToken(rest).empty()) {
        throw LogLineError("expected \"event CODE WEAPON FIRST [SECOND]\"");
    }
    line.kind = Kind::Event;
    const auto code = Whole<std::int32_t>(tokens[0]);
    if (!code) throw LogLineError("not an event code: " + std::string(tokens[0]));
    line.code = *code;
    line.weapon = tokens[1];
    line.first = Key(tokens[2]);
    if (count == 4 && tokens[3] != "-") line.second = Key(tokens[3]);
    return line;
}
