// Reads the fields of one engine message body. Once a field cannot be read every later field
// fails too, so a decoder can read a whole record and check once. Reads never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class MessageFieldReader {
public:
    static constexpr int kNumberWidth = 15;  // sign and base prefix included

    static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

    explicit MessageFieldReader(const char* body) : cursor(body) {}

    // Number fields answer false when they fail. A number missing because the message ended
    // leaves the target alone; one with no digit where it should stand stores 0.
    bool ReadInteger(int32_t& target) { return ReadNumberInto(target); }
    bool ReadUnsigned(uint32_t& target) { return ReadNumberInto(target); }

    // Takes the next byte, whatever it is.
    bool SkipCharacter() {
        if (failed || *cursor == '\0') {
            failed = true;
            return false;
        }
        ++cursor;
        return true;
    }

    // Up to `limit` bytes, ending early at a line feed (consumed, not stored). `target` holds
    // limit + 1 bytes and is always terminated; it is emptied when the field fails.
    bool ReadTextLine(char* target, std::size_t limit) {
        if (failed || *cursor == '\0') {
            failed = true;
            target[0] = '\0';
            return false;
        }
        // Names are short: copying while scanning beats a scan and a library copy.
        std::size_t length = 0;
        for (; length < limit; ++length) {
            const char c = cursor[length];
            if (c == '\0' || c == '\n') break;
            target[length] = c;
        }
        target[length] = '\0';
        cursor += length;
        if (length < limit && *cursor == '\n') ++cursor;
        return true;
    }
    // The same rule without the copy: a view into the message, empty when the field fails.
    std::string_view ReadTextLine(std::size_t limit);

    bool Failed() const { return failed; }

private:
    enum class NumberStatus { Read, Ended, NoDigit };

    NumberStatus ReadNumber(uint32_t& bits);

    template <typename T>
    bool ReadNumberInto(T& target) {
        // The common case, an unsigned decimal, inline and without the sign and base handling.
        // Arithmetic modulo 2^32 keeps the same low 32 bits as the general path.
        if (!failed) {
            while (IsSpace(*cursor)) ++cursor;
            if (static_cast<unsigned>(static_cast<unsigned char>(*cursor) - '1') < 9u) {
                uint32_t value = 0;
                int width = kNumberWidth;
                do {
                    value = value * 10 + static_cast<uint32_t>(*cursor - '0');
                    ++cursor;
                } while (--width > 0 &&
                         static_cast<unsigned>(static_cast<unsigned char>(*cursor) - '0') < 10u);
                target = static_cast<T>(value);
                return true;
            }
        }
        uint32_t bits = 0;
        switch (ReadNumber(bits)) {
            case NumberStatus::Read:
                target = static_cast<T>(bits);
                return true;
            case NumberStatus::NoDigit:
                target = 0;
                return false;
            case NumberStatus::Ended:
                return false;
        }
        return false;
    }

    const char* cursor;
    bool failed = false;
};
