#include "LogFormatter.h"

#include <charconv>
#include <cstdio>

#include "ByteText.h"

namespace {

template <typename Number>
void AppendNumber(std::string& out, Number value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void AppendUnicodeEscape(std::string& out, uint32_t codePoint) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(codePoint));
    out += escape;
}

// The byte-text form of `bytes` with JSON's string escapes; double quotes only when quoting.
void AppendEscaped(std::string& out, std::string_view bytes, bool escapeQuotes) {
    const std::string text = byte_text::ToUtf8(bytes);
    std::string_view rest = text;
    while (!rest.empty()) {
        // ToUtf8's result is well-formed, so every step finds a whole character.
        const std::size_t length = byte_text::Utf8CharacterLength(rest);
        const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(rest[i]); };
        const uint8_t lead = byte(0);
        if (length == 1) {
            switch (lead) {
                case '"':
                    out += escapeQuotes ? "\\\"" : "\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\b':
                    out += "\\b";
                    break;
                case '\f':
                    out += "\\f";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (lead < 0x20 || lead == 0x7F) {
                        AppendUnicodeEscape(out, lead);
                    } else {
                        out.push_back(static_cast<char>(lead));
                    }
            }
        } else if (length == 2 && lead == 0xC2 && byte(1) < 0xA0) {
            AppendUnicodeEscape(out, byte(1));  // C1 controls, U+0080..U+009F
        } else if (length == 3 && lead == 0xE2 && byte(1) == 0x80 &&
                   (byte(2) == 0xA8 || byte(2) == 0xA9)) {
            AppendUnicodeEscape(out, 0x2000u | (byte(2) & 0x3Fu));  // line and paragraph separators
        } else {
            out.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
}

std::string_view WithoutLineEnd(std::string_view bytes) {
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.remove_suffix(1);
    return bytes;
}

const char* LevelName(LogFormatter::Level level) {
    switch (level) {
        case LogFormatter::Level::Warning:
            return "warning";
        case LogFormatter::Level::Error:
            return "error";
        case LogFormatter::Level::Info:
            break;
    }
    return "info";
}

// The opening of a JSON line, up to and including the comma after "type".
std::string JsonStart(LogFormatter::Clock::time_point time, const char* type) {
    std::string line = "{\"time\":\"";
    line += LogFormatter::FormatTime(time);
    line += "\",\"type\":\"";
    line += type;
    line += "\",";
    return line;
}

std::string TextStart(LogFormatter::Clock::time_point time) {
    std::string line = LogFormatter::FormatTime(time);
    line.push_back(' ');
    return line;
}

}  // namespace

std::string LogFormatter::FormatTime(Clock::time_point time) {
    using namespace std::chrono;
    const auto milliseconds = floor<std::chrono::milliseconds>(time);
    const auto day = floor<days>(milliseconds);
    const year_month_day date{day};
    const hh_mm_ss clock{milliseconds - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()),
                  int(clock.subseconds().count()));
    return text;
}

std::string LogFormatter::ConsoleLine(Clock::time_point time, uint64_t seq,
                                      std::string_view bytes) const {
    bytes = WithoutLineEnd(bytes);
    std::string line;
    if (format_ == LogFormat::Json) {
        line = JsonStart(time, "console");
        line += "\"seq\":";
        AppendNumber(line, seq);
        line += ",\"text\":\"";
        AppendEscaped(line, bytes, true);
        line += "\"}\n";
    } else {
        line = TextStart(time);
        AppendEscaped(line, bytes, false);
        line += '\n';
    }
    return line;
}

std::string LogFormatter::Player(Clock::time_point time, const char* type, const char* verb,
                                 int32_t id, std::string_view name) const {
    std::string line;
    if (format_ == LogFormat::Json) {
        line = JsonStart(time, type);
        line += "\"id\":";
        AppendNumber(line, id);
        line += ",\"name\":\"";
        AppendEscaped(line, name, true);
        line += "\"}\n";
    } else {
        line = TextStart(time);
        line += "player ";
        AppendNumber(line, id);
        line += ' ';
        line += verb;
        line += ": ";
        AppendEscaped(line, name, false);
        line += '\n';
    }
    return line;
}

std::string LogFormatter::PlayerJoined(Clock::time_point time, int32_t id,
                                       std::string_view name) const {
    return Player(time, "join", "joined", id, name);
}

std::string LogFormatter::PlayerLeft(Clock::time_point time, int32_t id,
                                     std::string_view name) const {
    return Player(time, "leave", "left", id, name);
}

std::string LogFormatter::Notice(Clock::time_point time, Level level, std::string_view text) const {
    std::string line;
    if (format_ == LogFormat::Json) {
        line = JsonStart(time, "notice");
        line += "\"level\":\"";
        line += LevelName(level);
        line += "\",\"text\":\"";
        AppendEscaped(line, text, true);
        line += "\"}\n";
    } else {
        line = TextStart(time);
        if (level != Level::Info) {
            line += LevelName(level);
            line += ": ";
        }
        AppendEscaped(line, text, false);
        line += '\n';
    }
    return line;
}
