#include "OutputText.h"

#include "ByteText.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace output_text {

std::string Rating(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    return std::string(text, std::to_chars(std::begin(text), std::end(text), value).ptr);
}

std::string TerminalText(const std::string& bytes) {
    const std::string utf8 = byte_text::ToUtf8(bytes);
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) < 0xA0;  // U+0080 to U+009F
        if (c < 0x20 || c == 0x7F || c1) {
            text += "\xEF\xBF\xBD";  // U+FFFD
            if (c1) ++i;
        } else {
            text += utf8[i];
        }
    }
    return text;
}

std::size_t Width(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string CsvField(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string utf8 = byte_text::ToUtf8(bytes);
    std::string text;
    if (!utf8.empty() && std::string_view("=+-@\t\r").find(utf8[0]) != std::string_view::npos) {
        text += '\'';
    }
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        } else {
            text += c;
        }
    }
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (char c : byte_text::ToUtf8(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += "\\u00";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0xF];
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string HtmlText(const std::string& bytes) {
    std::string text;
    // Control characters would be invalid in the document; they show as U+FFFD, as on the
    // terminal.
    for (char c : TerminalText(bytes)) {
        switch (c) {
            case '&':
                text += "&amp;";
                break;
            case '<':
                text += "&lt;";
                break;
            case '>':
                text += "&gt;";
                break;
            case '"':
                text += "&quot;";
                break;
            case '\'':
                text += "&#39;";
                break;
            default:
                text += c;
        }
    }
    return text;
}

}  // namespace output_text
