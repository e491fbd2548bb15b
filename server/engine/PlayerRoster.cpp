#include "PlayerRoster.h"

#include <cstring>

PlayerRecord& PlayerRoster::Add(int32_t clientId, std::time_t joinTime) {
    PlayerRecord record;
    record.clientId = clientId;
    std::strncpy(record.name, kNewPlayerName, kPlayerNameLength);
    record.joinTime = joinTime;
    PlayerRecord& slot = records[KeyOf(clientId)];
    slot = record;
    return slot;
}

void PlayerRoster::Remove(int32_t clientId) {
    records.erase(KeyOf(clientId));
}

PlayerRecord* PlayerRoster::Find(int32_t clientId) {
    auto found = records.find(KeyOf(clientId));
    return found == records.end() ? nullptr : &found->second;
}

const PlayerRecord* PlayerRoster::Find(int32_t clientId) const {
    auto found = records.find(KeyOf(clientId));
    return found == records.end() ? nullptr : &found->second;
}

void PlayerRoster::CopyTo(std::vector<PlayerRecord>& out) const {
    out.clear();
    out.reserve(records.size());
    for (const auto& entry : records) out.push_back(entry.second);
}
