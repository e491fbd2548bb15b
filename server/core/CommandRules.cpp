#include "CommandRules.h"

#include <cstdint>
#include <utility>

#include "ByteText.h"

namespace command_rules {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The first word of a trimmed command and what follows it, trimmed, as the engine splits them.
std::pair<std::string_view, std::string_view> FirstWord(std::string_view command) {
    std::size_t end = 0;
    while (end < command.size() && !IsBlank(command[end])) ++end;
    return {command.substr(0, end), Trimmed(command.substr(end))};
}

// What a password command looks like: the first word names a password variable, and a value
// follows. The offset of the value, or nothing.
std::optional<std::size_t> PasswordValueAt(std::string_view command) {
    const std::string_view line = Trimmed(command);
    auto [word, value] = FirstWord(line);
    if (value.empty()) return std::nullopt;
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    const std::string name = byte_text::LowercaseAscii(std::string(word));
    if (name != "serverpassword" && name != "remoteadminpassword") return std::nullopt;
    return static_cast<std::size_t>(value.data() - command.data());
}

constexpr std::string_view kBanUsage =
    "Usage: ban NAME [MINUTES] [REASON] (a NAME with blanks in double quotes)";
constexpr std::string_view kUnbanUsage = "Usage: unban NAME (a NAME with blanks in double quotes)";

// NAME at the start of `rest`: one word, or a quoted text. Moves `rest` past it.
std::optional<std::string> TakeName(std::string_view& rest) {
    if (rest.empty()) return std::nullopt;
    if (rest.front() != '"') {
        auto [word, after] = FirstWord(rest);
        rest = after;
        return std::string(word);
    }
    std::string name;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '"') {
            rest = Trimmed(rest.substr(i + 1));
            if (name.empty()) return std::nullopt;
            return name;
        }
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '"' || rest[i + 1] == '\\')) ++i;
        name += rest[i];
    }
    return std::nullopt;  // no closing quote
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

bool SetsPassword(std::string_view command) {
    return PasswordValueAt(command).has_value();
}

std::string Masked(std::string_view command) {
    const std::optional<std::size_t> at = PasswordValueAt(command);
    if (!at) return std::string(command);
    const bool quoted = command[*at] == '"';
    return std::string(command.substr(0, *at)) + (quoted ? "\"********\"" : "********");
}

std::optional<BanCommand> ParseBanCommand(std::string_view command) {
    auto [word, rest] = FirstWord(Trimmed(command));
    const std::string verb = byte_text::LowercaseAscii(std::string(word));
    BanCommand ban;
    if (verb == "bans") {
        if (!rest.empty()) ban.usage = "Usage: bans";
        return ban;
    }
    if (verb != "ban" && verb != "unban") return std::nullopt;
    ban.kind = verb == "ban" ? BanCommand::Kind::Ban : BanCommand::Kind::Unban;
    const std::string_view usage = verb == "ban" ? kBanUsage : kUnbanUsage;
    const std::optional<std::string> name = TakeName(rest);
    if (!name) {
        ban.usage = usage;
        return ban;
    }
    ban.name = *name;
    if (ban.kind == BanCommand::Kind::Unban) {
        if (!rest.empty()) ban.usage = usage;
        return ban;
    }
    auto [minutes, reason] = FirstWord(rest);
    const bool isNumber =
        !minutes.empty() && minutes.find_first_not_of("0123456789") == std::string_view::npos;
    if (isNumber) {
        // More digits than any ban can hold are refused by the ban's own rule, not wrapped.
        for (const char c : minutes.substr(0, 12)) ban.minutes = ban.minutes * 10 + (c - '0');
        if (minutes.size() > 12) ban.minutes = INT64_MAX;
        rest = reason;
    }
    ban.reason = std::string(rest);
    return ban;
}

}  // namespace command_rules
