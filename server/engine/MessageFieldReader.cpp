#include "MessageFieldReader.h"

#include <cstring>

namespace {

constexpr std::size_t kShortField = 64;

int DigitValue(char c, unsigned base) {
    unsigned value;
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        value = static_cast<unsigned>((c | 0x20) - 'a' + 10);
    } else {
        return -1;
    }
    return value < base ? static_cast<int>(value) : -1;
}

}  // namespace

MessageFieldReader::NumberStatus MessageFieldReader::ReadNumber(uint32_t& bits) {
    if (failed) return NumberStatus::Ended;
    while (IsSpace(*cursor)) ++cursor;
    if (*cursor == '\0') {
        failed = true;
        return NumberStatus::Ended;
    }

    int width = kNumberWidth;
    bool negative = false;
    if (*cursor == '+' || *cursor == '-') {
        negative = *cursor == '-';
        ++cursor;
        --width;
    }

    unsigned base = 10;
    int digits = 0;
    uint64_t value = 0;  // 15 characters never overflow 64 bits, whatever the base
    if (width > 0 && *cursor == '0') {
        ++cursor;
        --width;
        digits = 1;
        base = 8;
        // "0x" with no hexadecimal digit after it reads as 0 with both bytes taken, as the
        // C library's own scanning does.
        if (width > 0 && (*cursor | 0x20) == 'x') {
            ++cursor;
            --width;
            base = 16;
        }
    }
    if (base == 10) {  // the common case, kept free of the general digit test
        for (; width > 0; --width, ++cursor) {
            const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*cursor) - '0');
            if (digit > 9) break;
            value = value * 10 + digit;
            ++digits;
        }
    } else {
        for (; width > 0; --width, ++cursor) {
            const int digit = DigitValue(*cursor, base);
            if (digit < 0) break;
            value = value * base + static_cast<unsigned>(digit);
            ++digits;
        }
    }
    if (digits == 0) {
        failed = true;
        return NumberStatus::NoDigit;
    }
    // Wider values keep their low 32 bits.
    bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return NumberStatus::Read;
}

std::string_view MessageFieldReader::ReadTextLine(std::size_t limit) {
    if (failed || *cursor == '\0') {
        failed = true;
        return {};
    }
    std::size_t length = 0;
    if (limit <= kShortField) {  // names: a plain loop beats two library calls
        while (length < limit && cursor[length] != '\0' && cursor[length] != '\n') ++length;
    } else {
        // Both scans stay within the field's limit, never over the rest of the message.
        const std::size_t available = strnlen(cursor, limit);
        const void* lineFeed = std::memchr(cursor, '\n', available);
        length = lineFeed != nullptr
                     ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - cursor)
                     : available;
    }
    std::string_view line(cursor, length);
    cursor += length;
    if (length < limit && *cursor == '\n') ++cursor;
    return line;
}
