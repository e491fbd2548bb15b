// Who holds the web admin's connections: at most `total`; of those, the ones whose requests came
// without a live session hold at most `withoutSession`, and at most `perAddress` from one address
// (keyed by AddressKey, so the loopback addresses count as one). A connection is weighed twice:
// when it is accepted, against the total only, and when its request's headers are read, when a
// request without a session must find room in its address's share (one with a session always
// may stay). Room is made by closing the oldest connections without a session and without a
// request in flight (at the accept, its own address's first); when none can go, the newcomer is
// refused. So a flood from one address keeps at most its share of requests and mostly closes its
// own idle connections, and a connection with a session is never closed to make room.
// Plain C++; the network thread's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class ConnectionSlots {
public:
    struct Limits {
        std::size_t total = 64;
        std::size_t withoutSession = 32;
        std::size_t perAddress = 8;
    };
    using Closing = std::optional<std::vector<uint64_t>>;  // nothing: refused

    ConnectionSlots() = default;
    explicit ConnectionSlots(Limits limits) : limits_(limits) {}

    // A new connection `id` (ids rise with time) from the address `key`; a `shared` address (a
    // trusted proxy, which speaks for many) has no share of its own. Answers the connections to
    // close for it, or nothing when it cannot be had (and then nothing changed).
    Closing Open(uint64_t id, const std::string& key, bool shared = false);
    // A request's headers were read: with a live session or without one. The same answer as
    // Open's; a refused connection is forgotten.
    Closing Request(uint64_t id, bool session);
    // A request is in flight from the moment it is read whole until its answer is written.
    void SetBusy(uint64_t id, bool busy);
    // The connection's session ended: its next request is weighed again.
    void SessionEnded(uint64_t id);
    void Remove(uint64_t id) { slots_.erase(id); }
    std::size_t Size() const { return slots_.size(); }

private:
    enum class Standing { New, WithoutSession, Session };
    struct Slot {
        std::string key;
        bool shared = false;
        bool busy = false;
        Standing standing = Standing::New;
    };
    // The oldest connection without a session or a request in flight, not yet `closing`, that
    // `pick` accepts; 0 when there is none.
    template <class Pick>
    uint64_t Oldest(const std::vector<uint64_t>& closing, Pick pick) const;
    void Forget(const std::vector<uint64_t>& closing);

    Limits limits_{};
    std::map<uint64_t, Slot> slots_;  // oldest first
};
