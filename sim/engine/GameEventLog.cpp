#include "GameEventLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>

#include "EngineOutbox.h"

namespace {

constexpr int kMaxFilesPerSecond = 1000;

// FNV-1a: the same name gives the same key in every match and every run.
uint32_t NameKey(std::string_view name) {
    uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// A line break would end the line early; blanks inside a name are fine (NAME runs to the end).
std::string LineText(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r' || c == '\0') c = ' ';
    }
    return line;
}

}  // namespace

GameEventLog::GameEventLog(EngineOutbox& outbox, std::string directory)
    : outbox(outbox), directory(std::move(directory)) {}

GameEventLog::~GameEventLog() {
    Close();
}

void GameEventLog::Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    path.clear();
    listed.clear();
    clock = 0;
}

void GameEventLog::Fail(const std::string& what) {
    outbox.ConsoleOutput("Event log: " + what + "; no more events are logged in this match");
    Close();
    failed = true;
}

void GameEventLog::Open(uint64_t newMatch, std::string_view world) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return Fail("cannot create " + directory + ": " + error.message());
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    // Names sort in the order the matches started; O_EXCL never touches an existing file.
    for (int n = 0; n < kMaxFilesPerSecond && fd < 0; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "/match-%s-%03d.log", stamp, n);
        path = directory + name;
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail("cannot create " + path + ": " + std::strerror(errno));
    char started[32];
    std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%SZ", &utc);
    // A first line of its own for every file: the statistics host tells logs apart by it.
    std::random_device random;
    char id[24];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    Write("# Tarnwick match " + std::to_string(newMatch) + " (" + id + ") on " + LineText(world) +
          ", started " + started + "\n");
    Write(
        "# player KEY ALT_KEY GROUP NAME; event CODE WEAPON FIRST [SECOND]; at SECONDS; "
        "leave KEY\n");
}

void GameEventLog::Follow(uint64_t newMatch, std::string_view world, uint64_t seconds,
                          const std::vector<SimPlayer>& players) {
    if (newMatch != match) {
        Close();
        match = newMatch;
        failed = false;
    }
    if (failed) return;
    if (fd < 0) {
        // The clock counts from the file's start, which its first line gives.
        fileStart = seconds;
        now = clock = 0;
        Open(newMatch, world);
    }
    now = seconds - fileStart;
    std::erase_if(keys, [&](const auto& entry) {
        const bool gone =
            std::none_of(players.begin(), players.end(),
                         [&](const SimPlayer& player) { return player.clientId == entry.first; });
        if (const auto it = listed.find(entry.second); gone && it != listed.end()) {
            it->second.present = false;
            Write("leave " + std::to_string(entry.second) + '\n');
        }
        return gone;
    });
    for (const SimPlayer& player : players) {
        const auto it = listed.find(KeyOf(player));
        if (it == listed.end() || it->second.group != player.teamLabelId ||
            it->second.name != player.name || !it->second.present) {
            List(player);
        }
    }
}

uint32_t GameEventLog::KeyOf(const SimPlayer& player) {
    if (const auto it = keys.find(player.clientId); it != keys.end()) return it->second;
    uint32_t key = NameKey(player.name);
    // Two players online at once never share a key, even when their names hash alike.
    const auto taken = [&](uint32_t candidate) {
        return std::any_of(keys.begin(), keys.end(),
                           [&](const auto& entry) { return entry.second == candidate; });
    };
    while (taken(key)) ++key;
    keys.emplace(player.clientId, key);
    return key;
}

void GameEventLog::List(const SimPlayer& player) {
    const uint32_t key = KeyOf(player);
    // A player listed again keeps the alternate key of the first listing in this file.
    const auto [it, added] = listed.try_emplace(
        key, Listed{static_cast<uint32_t>(player.clientId), player.teamLabelId, player.name, true});
    it->second.group = player.teamLabelId;
    it->second.name = player.name;
    it->second.present = true;
    Write("player " + std::to_string(key) + ' ' + std::to_string(it->second.altKey) + ' ' +
          std::to_string(player.teamLabelId) + ' ' + LineText(player.name) + '\n');
}

void GameEventLog::Event(int code, std::string_view weapon, const SimPlayer& first,
                         const SimPlayer* second) {
    if (fd < 0) return;
    std::string line = "event " + std::to_string(code) + ' ' + std::string(weapon) + ' ' +
                       std::to_string(KeyOf(first));
    if (second != nullptr) line += ' ' + std::to_string(KeyOf(*second));
    Write(line + '\n');
}

void GameEventLog::Kill(const SimPlayer& killer, const SimPlayer& victim, std::string_view weapon) {
    Event(19, weapon, killer, &victim);
}

void GameEventLog::TeamKillPenalty(const SimPlayer& killer, const SimPlayer& victim,
                                   std::string_view weapon) {
    Event(30, weapon, killer, &victim);
}

void GameEventLog::Decay(const SimPlayer& player) {
    Event(15, "-", player, nullptr);
}

void GameEventLog::Write(std::string line) {
    if (fd < 0) return;
    if (now != clock) {
        clock = now;
        line = "at " + std::to_string(now) + '\n' + line;
    }
    // One write per line with O_APPEND: a reader never sees a line from two writes but the
    // kernel's own short writes, and nothing waits in a buffer.
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail("cannot write " + path + ": " + std::strerror(n < 0 ? errno : EIO));
        done += static_cast<size_t>(n);
    }
}
