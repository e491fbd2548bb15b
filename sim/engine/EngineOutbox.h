// What the engine has to tell the host, in order, until the next call that may deliver it:
// engine messages (type byte and body) and console text.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

struct OutgoingItem {
    enum class Route { EngineMessage, ConsoleOutput };
    Route route;
    std::string text;
};

struct PlayerUpdateRecord {
    int32_t clientId;
    std::string_view name;
    uint32_t teamLabelId;
    int32_t specialtyLabelId;
};

class EngineOutbox {
public:
    // Held back while no host listens; past this the oldest items give way.
    static constexpr size_t kMaxItems = 4096;
    // The host keeps at most this much of a console line message.
    static constexpr size_t kMaxConsoleLine = 1023;
    static constexpr size_t kMaxNameLength = 30;

    void PlayerAdded(int32_t clientId);
    void PlayerRemoved(int32_t clientId);
    void PlayerUpdate(const std::vector<PlayerUpdateRecord>& records);
    void ConsoleLine(std::string_view text);  // a 0x06 message
    void CloseServer();
    void ConsoleOutput(std::string_view text);  // through OnConsoleOutput, line break added

    bool Empty() const { return items.empty(); }
    std::deque<OutgoingItem> Take();

private:
    void Push(OutgoingItem::Route route, std::string text);

    std::deque<OutgoingItem> items;
};
