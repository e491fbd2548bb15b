#include "ConnectionSlots.h"

#include <algorithm>

template <class Pick>
uint64_t ConnectionSlots::Oldest(const std::vector<uint64_t>& closing, Pick pick) const {
    for (const auto& [id, slot] : slots_)
        if (!slot.busy && slot.standing != Standing::Session && pick(slot) &&
            std::find(closing.begin(), closing.end(), id) == closing.end())
            return id;
    return 0;
}

void ConnectionSlots::Forget(const std::vector<uint64_t>& closing) {
    for (uint64_t id : closing) slots_.erase(id);
}

ConnectionSlots::Closing ConnectionSlots::Open(uint64_t id, const std::string& key, bool shared) {
    std::vector<uint64_t> closing;
    while (slots_.size() - closing.size() >= limits_.total) {
        // A flood's own connections go first, so that it mostly closes itself.
        uint64_t oldest =
            Oldest(closing, [&](const Slot& s) { return !shared && !s.shared && s.key == key; });
        if (oldest == 0) oldest = Oldest(closing, [](const Slot&) { return true; });
        if (oldest == 0) return std::nullopt;
        closing.push_back(oldest);
    }
    Forget(closing);
    slots_[id] = Slot{key, shared, false, Standing::New};
    return closing;
}

ConnectionSlots::Closing ConnectionSlots::Request(uint64_t id, bool session) {
    const auto found = slots_.find(id);
    if (found == slots_.end()) return std::nullopt;
    Slot& slot = found->second;
    if (session) slot.standing = Standing::Session;
    if (slot.standing != Standing::New) return std::vector<uint64_t>{};

    const auto without = [](const Slot& s) { return s.standing == Standing::WithoutSession; };
    const auto sameAddress = [&](const Slot& s) {
        return without(s) && !s.shared && !slot.shared && s.key == slot.key;
    };
    std::vector<uint64_t> closing;
    for (;;) {
        std::size_t ofAddress = 0, withoutSession = 0;
        for (const auto& [other, s] : slots_)
            if (std::find(closing.begin(), closing.end(), other) == closing.end()) {
                ofAddress += sameAddress(s);
                withoutSession += without(s);
            }
        const bool addressFull = ofAddress >= limits_.perAddress;
        if (!addressFull && withoutSession < limits_.withoutSession) break;
        // From this address while its share is used up, else the oldest of all.
        const uint64_t oldest = Oldest(
            closing, [&](const Slot& s) { return addressFull ? sameAddress(s) : without(s); });
        if (oldest == 0) {
            slots_.erase(found);
            return std::nullopt;
        }
        closing.push_back(oldest);
    }
    Forget(closing);
    slot.standing = Standing::WithoutSession;
    return closing;
}

void ConnectionSlots::SetBusy(uint64_t id, bool busy) {
    if (const auto found = slots_.find(id); found != slots_.end()) found->second.busy = busy;
}

void ConnectionSlots::SessionEnded(uint64_t id) {
    if (const auto found = slots_.find(id); found != slots_.end())
        found->second.standing = Standing::New;
}
