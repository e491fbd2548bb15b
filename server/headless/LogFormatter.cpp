#include "LogFormatter.h"

#include <charconv>

#include "SafeText.h"
#include "UtcTime.h"

namespace {

template <typename Number>
void AppendNumber(std::string& out, Number value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// The safe text form of `bytes`; double quotes escaped only when quoting.
void AppendEscaped(std::string& out, std::string_view bytes, bool escapeQuotes) {
    safe_text::Append(out, bytes,
                      escapeQuotes ? safe_text::Form::JsonString : safe_text::Form::LogText);
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
    char text[kUtcTimeLength];
    FormatUtcTime(std::chrono::floor<std::chrono::milliseconds>(time).time_since_epoch().count(),
                  text);
    return std::string(text, sizeof text);
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

std::pair<std::string, std::string> LogFormatter::NoticeAroundTime(Level level,
                                                                   std::string_view text) const {
    std::string after;
    if (format_ == LogFormat::Json) {
        after = "\",\"type\":\"notice\",\"level\":\"";
        after += LevelName(level);
        after += "\",\"text\":\"";
        AppendEscaped(after, text, true);
        after += "\"}\n";
        return {"{\"time\":\"", after};
    }
    after = ' ';
    if (level != Level::Info) {
        after += LevelName(level);
        after += ": ";
    }
    AppendEscaped(after, text, false);
    after += '\n';
    return {std::string(), after};
}

std::string LogFormatter::Notice(Clock::time_point time, Level level, std::string_view text) const {
    auto [before, after] = NoticeAroundTime(level, text);
    return before + FormatTime(time) + after;
}
