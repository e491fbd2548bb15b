#include "EventLog.h"

#include "HostError.h"
#include "TextLines.h"
#include "WeaponTable.h"

#include <unordered_map>

namespace {

class LogReader {
public:
    LogReader(const std::string& path, WeaponTable& weapons) : lines(path), weapons(weapons) {}

    EventLog Read() {
        std::vector<std::string_view> tokens;
        while (lines.Next(tokens)) {
            if (tokens[0] == "player") {
                ReadPlayer(tokens);
            } else if (tokens[0] == "event") {
                ReadEvent(tokens);
            } else {
                Fail("unknown line kind \"" + std::string(tokens[0]) +
                     "\" (expected player or event)");
            }
        }
        return std::move(log);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw HostError::AtLine(lines.Path(), lines.LineNumber(), what);
    }

    std::uint32_t Key(std::string_view text) const {
        const auto key = TextLines::ParseWhole<std::uint32_t>(text);
        if (!key) Fail("not a player key (0 to 4294967295): " + std::string(text));
        return *key;
    }

    std::uint32_t PlayerIndex(std::string_view text) const {
        const auto it = byKey.find(Key(text));
        if (it == byKey.end()) Fail("unknown player " + std::string(text));
        return it->second;
    }

    void ReadPlayer(const std::vector<std::string_view>& tokens) {
        if (tokens.size() < 4 || tokens.size() > 5) {
            Fail("expected \"player KEY ALT_KEY GROUP [NAME]\"");
        }
        LoggedPlayer player{Key(tokens[1]), Key(tokens[2]), std::string(tokens[3]),
                            std::string(tokens.size() == 5 ? tokens[4] : tokens[1])};
        const auto index = static_cast<std::uint32_t>(log.players.size());
        if (!byKey.emplace(player.key, index).second)
            Fail("player key listed twice: " + std::string(tokens[1]));
        if (!altKeys.emplace(player.altKey, index).second) {
            Fail("alternate key listed twice: " + std::string(tokens[2]));
        }
        log.players.push_back(std::move(player));
    }

    void ReadEvent(const std::vector<std::string_view>& tokens) {
        if (tokens.size() < 4 || tokens.size() > 5) {
            Fail("expected \"event CODE WEAPON FIRST [SECOND]\"");
        }
        const auto code = TextLines::ParseWhole<std::int32_t>(tokens[1]);
        if (!code) Fail("not an event code: " + std::string(tokens[1]));
        const std::uint32_t first = PlayerIndex(tokens[3]);
        std::uint32_t second = first;
        if (tokens.size() == 5 && tokens[4] != "-") {
            second = PlayerIndex(tokens[4]);
        } else if (*code == skill::kKillEvent || *code == skill::kPenaltyEvent) {
            Fail("event " + std::to_string(*code) + " needs a second player");
        }
        log.events.push_back({*code, weapons.Intern(tokens[2]), first, second});
    }

    TextLines lines;
    WeaponTable& weapons;
    EventLog log;
    std::unordered_map<std::uint32_t, std::uint32_t> byKey;
    std::unordered_map<std::uint32_t, std::uint32_t> altKeys;
};

}  // namespace

EventLog EventLog::Read(const std::string& path, WeaponTable& weapons) {
    return LogReader(path, weapons).Read();
}
