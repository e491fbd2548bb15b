// The statistics host's records as the skill plug-ins see them. Every record belongs to the host;
// a plug-in reads what it needs and writes only the two ratings of a PlayerStats.
//
// The two host layouts differ only in where HostOptions::use_alt_key and GameEvent::weapon sit.
// The offsets are the host's 32-bit ones and are asserted in a 32-bit build; a 64-bit build keeps
// the fields, their order and their types and lets pointers and keys widen.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>

namespace skill {

// The host's table key: the value stored in `players` and carried by PlayerRef.
using PlayerKey = gpointer;

struct HostState {
    GHashTable* players;
};

struct PlayerStats {
    unsigned char host_fields[56];
    double skill;
    double weighted_skill;
};

struct PlayerRef {
    PlayerKey key;
    const char* group;  // never null
    void* host_field;
    PlayerKey alt_key;
};

// The record GameEvent::weapon points to; the plug-ins read only its first 32-bit field.
struct WeaponRecord {
    std::uint32_t value;
};

namespace layout_a {

struct HostOptions {
    unsigned char host_fields[76];
    std::int32_t use_alt_key;
};

struct GameEvent {
    std::int32_t code;
    unsigned char host_fields[20];
    const WeaponRecord* weapon;
};

}  // namespace layout_a

namespace layout_b {

struct HostOptions {
    unsigned char host_fields[88];
    std::int32_t use_alt_key;
};

struct GameEvent {
    std::int32_t code;
    unsigned char host_fields[24];
    const WeaponRecord* weapon;
};

}  // namespace layout_b

// Event codes the plug-ins react to.
inline constexpr std::int32_t kDecayEvent = 15;
inline constexpr std::int32_t kKillEvent = 19;
inline constexpr std::int32_t kPenaltyEvent = 30;

#if GLIB_SIZEOF_VOID_P == 4
static_assert(offsetof(HostState, players) == 0);
static_assert(offsetof(PlayerStats, skill) == 56);
static_assert(offsetof(PlayerStats, weighted_skill) == 64);
static_assert(offsetof(PlayerRef, key) == 0 && sizeof(PlayerKey) == 4);
static_assert(offsetof(PlayerRef, group) == 4);
static_assert(offsetof(PlayerRef, host_field) == 8);
static_assert(offsetof(PlayerRef, alt_key) == 12);
static_assert(offsetof(WeaponRecord, value) == 0);
static_assert(offsetof(layout_a::HostOptions, use_alt_key) == 76);
static_assert(offsetof(layout_a::GameEvent, code) == 0);
static_assert(offsetof(layout_a::GameEvent, weapon) == 24);
static_assert(offsetof(layout_b::HostOptions, use_alt_key) == 88);
static_assert(offsetof(layout_b::GameEvent, code) == 0);
static_assert(offsetof(layout_b::GameEvent, weapon) == 28);
#endif

}  // namespace skill
