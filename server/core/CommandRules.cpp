#include "CommandRules.h"

#include "ByteText.h"

namespace command_rules {

namespace {
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}
}  // namespace

ActionResult Check(std::string_view command) {
    if (command.empty()) return ActionResult::Empty;
    if (command.size() > kMaxLength) return ActionResult::TooLong;
    for (const unsigned char c : command)
        if ((c < 32 && c != '\t') || c == 127) return ActionResult::UnsafeText;
    return ActionResult::Done;
}

bool IsQuit(std::string_view command) {
    return byte_text::LowercaseAscii(std::string(Trimmed(command))) == "quit";
}

std::optional<int> ChangeMapPosition(std::string_view command) {
    constexpr std::string_view kWord = "changemap ";
    command = Trimmed(command);
    if (byte_text::LowercaseAscii(std::string(command.substr(0, kWord.size()))) != kWord)
        return std::nullopt;
    const std::string_view digits = Trimmed(command.substr(kWord.size()));
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    int index = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    return index;
}

}  // namespace command_rules
