// Decodes one engine message (a type byte and its fields) and applies it to a target.
#pragma once

#include <cstdint>
#include <string_view>

#include "PlayerRecord.h"

enum class EngineMessageType : uint8_t {
    PlayerAdded = 0x01,
    PlayerRemoved = 0x02,
    PlayerUpdate = 0x03,
    ConsoleLine = 0x06,
    CloseServer = 0x07,
};

inline constexpr std::size_t kConsoleLineLength = 1023;

// What a decoded message acts on. The decoder writes the fields of an updated player straight
// into the record that FindPlayer answers.
class EngineMessageTarget {
public:
    virtual void AddPlayer(int32_t clientId) = 0;  // replaces an entry with the same key
    virtual void RemovePlayer(int32_t clientId) = 0;
    virtual PlayerRecord* FindPlayer(int32_t clientId) = 0;
    virtual void MarkRosterChanged() = 0;
    virtual void QueueConsoleLine(std::string_view line) = 0;  // the view dies with the call
    virtual void CloseServer() = 0;

protected:
    ~EngineMessageTarget() = default;
};

// A null message is ignored; unknown types and bytes after a message's fields are ignored.
void DecodeEngineMessage(const char* message, EngineMessageTarget& target);
