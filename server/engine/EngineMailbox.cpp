#include "EngineMailbox.h"

#include <utility>

EngineMailbox::EngineMailbox(CloseRequest onCloseServer, CalendarClock clock)
    : onCloseServer(std::move(onCloseServer)), clock(std::move(clock)) {
    if (!this->clock) this->clock = [] { return std::time(nullptr); };
}

int32_t EngineMailbox::OnEngineMessage(const char* message) {
    DecodeEngineMessage(message, *this);
    return 0;
}

int32_t EngineMailbox::OnConsoleOutput(const char* text) {
    if (text != nullptr) pendingConsoleLines.emplace_back(text);
    return 0;
}

bool EngineMailbox::TakeRosterChanged() {
    return std::exchange(rosterChanged, false);
}

void EngineMailbox::TakePendingConsoleLines(std::vector<std::string>& out) {
    out.clear();
    out.swap(pendingConsoleLines);
}

void EngineMailbox::Clear() {
    roster.Clear();
    pendingConsoleLines.clear();
}

void EngineMailbox::AddPlayer(int32_t clientId) {
    roster.Add(clientId, clock());
}

void EngineMailbox::RemovePlayer(int32_t clientId) {
    roster.Remove(clientId);
}

PlayerRecord* EngineMailbox::FindPlayer(int32_t clientId) {
    return roster.Find(clientId);
}

void EngineMailbox::QueueConsoleLine(std::string_view line) {
    pendingConsoleLines.emplace_back(line);
}

void EngineMailbox::CloseServer() {
    if (onCloseServer) onCloseServer();
}
