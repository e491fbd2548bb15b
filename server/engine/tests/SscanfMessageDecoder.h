// The straightforward way to decode engine messages, one sscanf call per field, kept as the
// baseline that the decoding benchmark measures against and that tests compare the decoder with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "EngineMessageDecoder.h"
#include "PlayerRoster.h"

class SscanfFieldReader {
public:
    explicit SscanfFieldReader(const char* body) : cursor(body) {}

    template <typename T>
    bool ReadNumber(T& target) {
        if (failed) return false;
        long long value = 0;
        int used = 0;
        int result = std::sscanf(cursor, "%15lli%n", &value, &used);
        if (result != 1) {
            failed = true;
            if (result == 0) target = 0;  // EOF: the message ended, the target stays
            return false;
        }
        cursor += used;
        target = static_cast<T>(static_cast<uint32_t>(static_cast<unsigned long long>(value)));
        return true;
    }

    bool SkipCharacter() {
        char ignored;
        if (failed || std::sscanf(cursor, "%c", &ignored) != 1) {
            failed = true;
            return false;
        }
        ++cursor;
        return true;
    }

    // `target` holds limit + 1 bytes; limit is 30 or 1023.
    void ReadTextLine(char* target, std::size_t limit) {
        target[0] = '\0';
        if (failed) return;
        int used = 0;
        const char* format = limit == 30 ? "%30[^\n]%n" : "%1023[^\n]%n";
        int result = std::sscanf(cursor, format, target, &used);
        if (result == EOF) {
            failed = true;
            return;
        }
        if (result == 0) used = 0;  // the line is empty: the line feed stands first
        cursor += used;
        if (static_cast<std::size_t>(used) < limit && *cursor == '\n') ++cursor;
    }

private:
    const char* cursor;
    bool failed = false;
};

inline void SscanfDecodeEngineMessage(const char* message, EngineMessageTarget& target) {
    if (message == nullptr) return;
    char type = 0;
    int used = 0;
    if (std::sscanf(message, " %c%n", &type, &used) != 1) return;
    SscanfFieldReader reader(message + used);
    switch (static_cast<uint8_t>(type)) {
        case 0x01: {
            int32_t clientId = 0;
            reader.ReadNumber(clientId);
            target.AddPlayer(clientId);
            target.MarkRosterChanged();
            break;
        }
        case 0x02: {
            int32_t clientId = 0;
            reader.ReadNumber(clientId);
            target.RemovePlayer(clientId);
            target.MarkRosterChanged();
            break;
        }
        case 0x03:
            target.MarkRosterChanged();
            for (;;) {
                int32_t clientId = 0;
                if (!reader.ReadNumber(clientId) || clientId == -1) break;
                PlayerRecord* record = target.FindPlayer(clientId);
                if (record == nullptr) break;
                reader.SkipCharacter();
                reader.ReadTextLine(record->name, 30);
                reader.ReadNumber(record->teamLabelId);
                reader.ReadNumber(record->specialtyLabelId);
                if (record->specialtyLabelId == 8) record->specialtyLabelId = 1073;
            }
            break;
        case 0x06: {
            char line[1024];
            reader.ReadTextLine(line, 1023);
            target.QueueConsoleLine(line);
            break;
        }
        case 0x07:
            target.CloseServer();
            break;
        default:
            break;
    }
}

// Keeps what a decoder applies in a real roster and a list of lines, so two decoders' results
// can be compared.
class RecordingMessageTarget final : public EngineMessageTarget {
public:
    PlayerRoster roster;
    std::vector<std::string> lines;
    int closes = 0;
    bool changed = false;

    void AddPlayer(int32_t clientId) override { roster.Add(clientId, 0); }
    void RemovePlayer(int32_t clientId) override { roster.Remove(clientId); }
    PlayerRecord* FindPlayer(int32_t clientId) override { return roster.Find(clientId); }
    void MarkRosterChanged() override { changed = true; }
    void QueueConsoleLine(std::string_view line) override { lines.emplace_back(line); }
    void CloseServer() override { ++closes; }
};
