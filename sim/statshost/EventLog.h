// A game-event log as the host reads it.
//
//   # comment
//   player KEY ALT_KEY GROUP [NAME]      KEY and ALT_KEY: whole numbers 0 to 4294967295
//   event CODE WEAPON FIRST [SECOND]     FIRST, SECOND: the KEY of a listed player
//
// A player is listed before the events that name it. SECOND may be left out (or "-") except for
// codes 19 and 30; the first player then stands in for it.
#pragma once

#include "HostRecords.h"

#include <cstdint>
#include <string>
#include <vector>

class WeaponTable;

struct LoggedPlayer {
    std::uint32_t key;
    std::uint32_t altKey;
    std::string group;
    std::string name;
};

struct LoggedEvent {
    std::int32_t code;
    const skill::WeaponRecord* weapon;
    std::uint32_t first;  // indices into players
    std::uint32_t second;
};

class EventLog {
public:
    // Throws HostError naming the file and line of the first bad line.
    static EventLog Read(const std::string& path, WeaponTable& weapons);

    std::vector<LoggedPlayer> players;
    std::vector<LoggedEvent> events;
};
