// The game's event log, in the statistics host's line format: one file per match under
// tarnwick/logs/, each line written out with one write as it happens.
//
//   player KEY ALT_KEY GROUP NAME     listed when first seen in the match, again when team or name
//                                     change, and when back after leaving
//   event 19 WEAPON KILLER VICTIM     a kill
//   event 30 WEAPON KILLER VICTIM     the penalty for a team kill
//   event 15 - PLAYER                 the decay at the end of a round
//   at SECONDS                        seconds since the file was started, before the first line
//                                     of each new second
//   leave KEY                         a player gone from the match
//
// KEY stays with a player across matches: it comes from the name the player joined with. ALT_KEY
// is the client id the player had when first listed in the file; GROUP is the team's label id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "PlayerSimulation.h"

class EngineOutbox;

class GameEventLog {
public:
    GameEventLog(EngineOutbox& outbox, std::string directory);
    ~GameEventLog();
    GameEventLog(const GameEventLog&) = delete;
    GameEventLog& operator=(const GameEventLog&) = delete;

    // Keeps the file of match `match` open (a new match closes the old file and opens a new
    // one), lists every player whose listing there is missing or out of date, and says who left.
    // `seconds`: the match clock.
    void Follow(uint64_t match, std::string_view world, uint64_t seconds,
                const std::vector<SimPlayer>& players);

    // Only for players of the last Follow.
    void Kill(const SimPlayer& killer, const SimPlayer& victim, std::string_view weapon);
    void TeamKillPenalty(const SimPlayer& killer, const SimPlayer& victim, std::string_view weapon);
    void Decay(const SimPlayer& player);

    // The file being written, empty when none.
    const std::string& Path() const { return path; }

private:
    struct Listed {
        uint32_t altKey;
        uint32_t group;
        std::string name;
        bool present;
    };

    void Open(uint64_t match, std::string_view world);
    void Close();
    uint32_t KeyOf(const SimPlayer& player);
    void List(const SimPlayer& player);
    void Event(int code, std::string_view weapon, const SimPlayer& first, const SimPlayer* second);
    void Write(std::string line);
    void Fail(const std::string& what);

    EngineOutbox& outbox;
    std::string directory;
    int fd = -1;
    std::string path;
    uint64_t match = 0;
    uint64_t fileStart = 0;  // the match clock when the file was started
    uint64_t clock = 0;      // seconds since then, as the file last said
    uint64_t now = 0;
    bool failed = false;                          // this match writes no more
    std::unordered_map<int32_t, uint32_t> keys;   // client id -> key, for connected players
    std::unordered_map<uint32_t, Listed> listed;  // key -> its listing in this file
};
