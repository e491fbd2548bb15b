#include "EngineOutbox.h"

#include <utility>

namespace {

// Line breaks would end the host's text fields early and zero bytes would end the message.
std::string OneLine(std::string_view text, size_t limit) {
    std::string line(text.substr(0, limit));
    for (char& c : line) {
        if (c == '\n' || c == '\r' || c == '\0') c = ' ';
    }
    return line;
}

}  // namespace

void EngineOutbox::Push(OutgoingItem::Route route, std::string text) {
    if (items.size() >= kMaxItems) items.pop_front();
    items.push_back(OutgoingItem{route, std::move(text)});
}

void EngineOutbox::PlayerAdded(int32_t clientId) {
    Push(OutgoingItem::Route::EngineMessage, "\x01" + std::to_string(clientId));
}

void EngineOutbox::PlayerRemoved(int32_t clientId) {
    Push(OutgoingItem::Route::EngineMessage, "\x02" + std::to_string(clientId));
}

void EngineOutbox::PlayerUpdate(const std::vector<PlayerUpdateRecord>& records) {
    std::string body = "\x03";
    for (const PlayerUpdateRecord& record : records) {
        body += std::to_string(record.clientId);
        body += ' ';
        body += OneLine(record.name, kMaxNameLength);
        body += '\n';
        body += std::to_string(record.teamLabelId);
        body += ' ';
        body += std::to_string(record.specialtyLabelId);
        body += ' ';
    }
    body += "-1";
    Push(OutgoingItem::Route::EngineMessage, std::move(body));
}

void EngineOutbox::ConsoleLine(std::string_view text) {
    Push(OutgoingItem::Route::EngineMessage, "\x06" + OneLine(text, kMaxConsoleLine));
}

void EngineOutbox::CloseServer() {
    Push(OutgoingItem::Route::EngineMessage, "\x07");
}

void EngineOutbox::ConsoleOutput(std::string_view text) {
    Push(OutgoingItem::Route::ConsoleOutput, OneLine(text, kMaxConsoleLine) + "\n");
}

std::deque<OutgoingItem> EngineOutbox::Take() {
    return std::exchange(items, {});
}
