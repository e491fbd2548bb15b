#include "LoginGuard.h"

#include <algorithm>

LoginGuard::Entry* LoginGuard::Find(const std::string& key, int64_t nowMs) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) return nullptr;
    const Entry& entry = found->second;
    if (nowMs - std::max(entry.lastFailureMs, entry.lockedUntilMs) >= kForgetAfterMs) {
        entries_.erase(found);
        return nullptr;
    }
    return &found->second;
}

int64_t LoginGuard::LockedForMs(const std::string& key, int64_t nowMs) {
    const Entry* entry = Find(key, nowMs);
    return entry && entry->lockedUntilMs > nowMs ? entry->lockedUntilMs - nowMs : 0;
}

int64_t LoginGuard::RecordFailure(const std::string& key, int64_t nowMs) {
    Entry* entry = Find(key, nowMs);
    if (!entry) {
        if (entries_.size() >= capacity_) MakeRoom();
        entry = &entries_[key];
    }
    entry->lastFailureMs = nowMs;
    if (++entry->failures < kFailuresPerLockout) return 0;
    entry->failures = 0;
    const int doublings = std::min(entry->lockouts++, 6);  // 60 s << 6 passes an hour
    const int64_t lockout = std::min(kFirstLockoutMs << doublings, kLongestLockoutMs);
    entry->lockedUntilMs = nowMs + lockout;
    return lockout;
}

void LoginGuard::MakeRoom() {
    auto oldest = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->second.lastFailureMs < oldest->second.lastFailureMs) oldest = it;
    if (oldest != entries_.end()) entries_.erase(oldest);
}
