#include "TraceArgs.h"

#include <cstdio>
#include <cstring>

namespace {

// Host texts are NUL-terminated; the bound only keeps a missing terminator from running away.
constexpr size_t kMaxTracedText = 1 << 16;

bool IsHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

void TraceArgs::AppendLiteral(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    bool afterHexEscape = false;
    for (unsigned char c : text) {
        if (afterHexEscape && IsHexDigit(c)) out += "\"\"";
        afterHexEscape = false;
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
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
                if (c < 0x20 || c >= 0x7f) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                    afterHexEscape = true;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void TraceArgs::Separator() {
    if (inRecord) {
        if (!recordEmpty) line += ' ';
        recordEmpty = false;
    } else {
        line += '\t';
    }
}

TraceArgs& TraceArgs::Text(const char* text) {
    if (text == nullptr) return Null();
    return Text(std::string_view(text, strnlen(text, kMaxTracedText)));
}

TraceArgs& TraceArgs::Text(std::string_view text) {
    Separator();
    AppendLiteral(line, text);
    return *this;
}

TraceArgs& TraceArgs::Number(int64_t value) {
    Separator();
    line += std::to_string(value);
    return *this;
}

TraceArgs& TraceArgs::Pointer(const void* pointer) {
    if (pointer == nullptr) return Null();
    Separator();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", pointer);
    line += buffer;
    return *this;
}

TraceArgs& TraceArgs::Null() {
    Separator();
    line += "NULL";
    return *this;
}

TraceArgs& TraceArgs::BeginRecord() {
    Separator();
    line += '{';
    inRecord = true;
    recordEmpty = true;
    return *this;
}

TraceArgs& TraceArgs::Field(std::string_view name, int64_t value) {
    Separator();
    line += name;
    line += '=';
    line += std::to_string(value);
    return *this;
}

TraceArgs& TraceArgs::Field(std::string_view name, std::string_view text) {
    Separator();
    line += name;
    line += '=';
    AppendLiteral(line, text);
    return *this;
}

TraceArgs& TraceArgs::EndRecord() {
    line += '}';
    inRecord = false;
    return *this;
}
