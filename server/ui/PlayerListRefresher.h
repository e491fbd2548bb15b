// Brings the player list's rows in step with a copy of the roster. Row i shows record i of the
// copy; identity cells are rewritten only after a roster change, ping and time on every pass, and
// a cell is written only when its text differs. The selection stays with its player when the rows
// are rewritten, and goes when that player leaves, so a kick never lands on someone the operator
// did not choose. Runs without the engine lock: the ping query callback takes the lock itself
// around each engine call.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "PlayerRecord.h"
#include "PlayerTable.h"

class PlayerListRefresher {
public:
    using LabelLookup = std::function<std::string(uint32_t labelId)>;  // empty when unknown
    using PingQuery = std::function<float(int32_t clientId)>;          // seconds
    using CalendarClock = std::function<std::time_t()>;

    PlayerListRefresher(PlayerTable& table, LabelLookup labels, PingQuery ping,
                        CalendarClock clock = {});

    void Refresh(const std::vector<PlayerRecord>& records, bool rosterChanged);

    // Seconds to whole milliseconds, truncated; a value that fits no 32-bit count is clamped.
    static int32_t PingMilliseconds(float seconds);
    // now - joinTime, clamped to the 32-bit span the time text takes.
    static int32_t ConnectedSpan(std::time_t now, std::time_t joinTime);

private:
    void WriteCell(int row, int column, std::string_view text);
    void WriteIdentity(int row, const PlayerRecord& record);
    void KeepSelectionOn(int32_t clientId, int rows);

    PlayerTable& table;
    LabelLookup labels;
    PingQuery ping;
    CalendarClock clock;
};
