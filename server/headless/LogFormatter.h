// The lines the server run without a window writes to standard output, one per event: console
// lines with their sequence numbers, players joining and leaving, and the program's own notices
// (start, stop, errors).
//
// Text form: an ISO 8601 UTC time with milliseconds, a space, the text:
//   2026-12-06T23:51:00.123Z Server: welcome
//   2026-12-06T23:51:00.123Z player 5 joined: Quill
//   2026-12-06T23:51:00.123Z warning: standard input closed
// JSON form, one object a line:
//   {"time":"...","type":"console","seq":12,"text":"..."}
//   {"time":"...","type":"join","id":5,"name":"..."}    (and "leave")
//   {"time":"...","type":"notice","level":"info|warning|error","text":"..."}
//
// Interface: each function answers the whole line, its line feed included; the caller writes it.
// The time is the event's own (the core stamps its console lines). Texts are bytes, written in
// their safe form (SafeText.h), so every line is valid UTF-8 and no engine text can start a second
// log line, reach a terminal as a control sequence or reorder what a terminal shows; in both forms
// backslashes are escaped too. Numbers never depend on the locale.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

enum class LogFormat { Text, Json };

class LogFormatter {
public:
    using Clock = std::chrono::system_clock;
    enum class Level { Info, Warning, Error };

    explicit LogFormatter(LogFormat format) : format_(format) {}

    // Line breaks that end `bytes` are its terminator, not its text, and are left out.
    std::string ConsoleLine(Clock::time_point time, uint64_t seq, std::string_view bytes) const;
    std::string PlayerJoined(Clock::time_point time, int32_t id, std::string_view name) const;
    std::string PlayerLeft(Clock::time_point time, int32_t id, std::string_view name) const;
    std::string Notice(Clock::time_point time, Level level, std::string_view text) const;
    // The same line in the two parts that go before and after its time, for a writer that puts
    // the time in later (a signal handler).
    std::pair<std::string, std::string> NoticeAroundTime(Level level, std::string_view text) const;

    // "2026-12-06T23:51:00.123Z": UTC, milliseconds cut, not rounded.
    static std::string FormatTime(Clock::time_point time);

private:
    std::string Player(Clock::time_point time, const char* type, const char* verb, int32_t id,
                       std::string_view name) const;

    LogFormat format_;
};
