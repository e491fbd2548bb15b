// Everything the engine's host callbacks write: the player roster, the roster-changed mark and
// the console lines waiting for the console view.
// Locking: this class takes no lock. Every call must hold the window's engineLock, which the
// engine's callbacks already run under (they arrive from inside locked engine calls).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "EngineMessageDecoder.h"
#include "PlayerRoster.h"

class EngineMailbox : private EngineMessageTarget {
public:
    using CalendarClock = std::function<std::time_t()>;
    // Runs where the close message arrives, possibly on the worker thread.
    using CloseRequest = std::function<void()>;

    explicit EngineMailbox(CloseRequest onCloseServer = {}, CalendarClock clock = {});

    // The host sink's two message routes; both answer 0 and ignore a null text.
    int32_t OnEngineMessage(const char* message);
    int32_t OnConsoleOutput(const char* text);

    bool TakeRosterChanged();
    // Moves every pending line, oldest first, into `out` (whose old content is dropped).
    void TakePendingConsoleLines(std::vector<std::string>& out);
    void CopyRoster(std::vector<PlayerRecord>& out) const { roster.CopyTo(out); }
    // Frees every record and drops the pending lines, for the engine teardown.
    void Clear();

    const PlayerRoster& Roster() const { return roster; }

private:
    void AddPlayer(int32_t clientId) override;
    void RemovePlayer(int32_t clientId) override;
    PlayerRecord* FindPlayer(int32_t clientId) override;
    void MarkRosterChanged() override { rosterChanged = true; }
    void QueueConsoleLine(std::string_view line) override;
    void CloseServer() override;

    CloseRequest onCloseServer;
    CalendarClock clock;
    PlayerRoster roster;
    bool rosterChanged = false;
    std::vector<std::string> pendingConsoleLines;
};
