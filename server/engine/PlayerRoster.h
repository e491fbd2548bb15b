// The host's own copy of the connected players. Two client ids that agree in their low 16 bits
// name the same entry, because the engine only keeps 16 bits of distinct ids.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "PlayerRecord.h"

class PlayerRoster {
public:
    static uint16_t KeyOf(int32_t clientId) { return static_cast<uint16_t>(clientId); }

    // Stores a fresh record for the id, replacing any entry with the same key.
    PlayerRecord& Add(int32_t clientId, std::time_t joinTime);
    void Remove(int32_t clientId);
    PlayerRecord* Find(int32_t clientId);
    const PlayerRecord* Find(int32_t clientId) const;

    // Replaces the content of `out` with every record, in the roster's iteration order.
    void CopyTo(std::vector<PlayerRecord>& out) const;
    void Clear() { records.clear(); }
    std::size_t Size() const { return records.size(); }

private:
    std::unordered_map<uint16_t, PlayerRecord> records;
};
