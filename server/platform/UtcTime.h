// A time as the logs write it, "2026-12-06T23:51:00.123Z": UTC, milliseconds cut, not rounded.
// Plain arithmetic without the C library, so that a signal handler may call it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kUtcTimeLength = 24;

// Years outside 0 to 9999 are written as the nearest of the two.
inline void FormatUtcTime(int64_t epochMs, char (&out)[kUtcTimeLength]) {
    constexpr int64_t kDayMs = 86'400'000;
    int64_t days = epochMs / kDayMs;
    int64_t ms = epochMs % kDayMs;
    if (ms < 0) {
        ms += kDayMs;
        --days;
    }
    // Days since 1970-01-01 to a civil date, in eras of 400 years that begin on 1 March.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    year = year < 0 ? 0 : year > 9999 ? 9999 : year;

    const auto put = [&out](std::size_t at, int64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            out[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, year, 4);
    out[4] = '-';
    put(5, month, 2);
    out[7] = '-';
    put(8, day, 2);
    out[10] = 'T';
    put(11, ms / 3'600'000, 2);
    out[13] = ':';
    put(14, ms / 60'000 % 60, 2);
    out[16] = ':';
    put(17, ms / 1000 % 60, 2);
    out[19] = '.';
    put(20, ms % 1000, 3);
    out[23] = 'Z';
}
