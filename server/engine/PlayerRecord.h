// One connected player as the engine reported it. The label ids are string ids of the engine's
// label library; only the player list turns them into text.
#pragma once

#include <cstdint>
#include <ctime>

inline constexpr uint32_t DefaultLabelId = 1073;
inline constexpr int32_t kSpecialtyCodeForDefault = 8;  // the engine's code for "default label"
inline constexpr int kPlayerNameLength = 30;
inline constexpr const char* kNewPlayerName = "NEWPLAYER";

struct PlayerRecord {
    int32_t clientId = 0;
    uint32_t teamLabelId = DefaultLabelId;
    int32_t specialtyLabelId = 0;
    char name[kPlayerNameLength + 1] = {};
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
    int32_t reserved3 = 0;
    std::time_t joinTime = 0;
};
