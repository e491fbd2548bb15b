#include "EngineMessageDecoder.h"

#include "MessageFieldReader.h"

namespace {

void DecodePlayerUpdate(MessageFieldReader& reader, EngineMessageTarget& target) {
    target.MarkRosterChanged();
    for (;;) {
        int32_t clientId = 0;
        if (!reader.ReadInteger(clientId) || clientId == -1) return;
        // An unknown player ends the list: its fields cannot be told from the next record's.
        PlayerRecord* record = target.FindPlayer(clientId);
        if (record == nullptr) return;
        reader.SkipCharacter();
        reader.ReadTextLine(record->name, kPlayerNameLength);
        reader.ReadUnsigned(record->teamLabelId);
        reader.ReadInteger(record->specialtyLabelId);
        if (record->specialtyLabelId == kSpecialtyCodeForDefault) {
            record->specialtyLabelId = static_cast<int32_t>(DefaultLabelId);
        }
    }
}

}  // namespace

void DecodeEngineMessage(const char* message, EngineMessageTarget& target) {
    if (message == nullptr) return;
    while (MessageFieldReader::IsSpace(*message)) ++message;
    if (*message == '\0') return;

    const auto type = static_cast<uint8_t>(*message);
    MessageFieldReader reader(message + 1);
    switch (static_cast<EngineMessageType>(type)) {
        case EngineMessageType::PlayerAdded: {
            int32_t clientId = 0;
            reader.ReadInteger(clientId);
            target.AddPlayer(clientId);
            target.MarkRosterChanged();
            break;
        }
        case EngineMessageType::PlayerRemoved: {
            int32_t clientId = 0;
            reader.ReadInteger(clientId);
            target.RemovePlayer(clientId);
            target.MarkRosterChanged();
            break;
        }
        case EngineMessageType::PlayerUpdate:
            DecodePlayerUpdate(reader, target);
            break;
        case EngineMessageType::ConsoleLine:
            target.QueueConsoleLine(reader.ReadTextLine(kConsoleLineLength));
            break;
        case EngineMessageType::CloseServer:
            target.CloseServer();
            break;
        default:  // 0x04 and 0x05 carry nothing the host uses; anything else is not a message
            break;
    }
}
