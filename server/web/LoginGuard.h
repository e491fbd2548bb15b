// Wrong-password lockout per address: every fifth failure in a row locks the address out, for
// 60 s the first time and twice as long each further time, up to an hour. An address is
// forgotten after an hour without a failure (counted from the end of its lockout). The table is
// bounded: when full, the address whose last failure is the oldest makes room.
// Plain C++; times are milliseconds of a monotonic clock the caller reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

class LoginGuard {
public:
    static constexpr int kFailuresPerLockout = 5;
    static constexpr int64_t kFirstLockoutMs = 60'000;
    static constexpr int64_t kLongestLockoutMs = 3'600'000;
    static constexpr int64_t kForgetAfterMs = 3'600'000;
    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit LoginGuard(std::size_t capacity = kDefaultCapacity)
        : capacity_(capacity == 0 ? 1 : capacity) {}

    // Milliseconds until `key` may try again; 0 when it may try now.
    int64_t LockedForMs(const std::string& key, int64_t nowMs);
    // A wrong password from `key`; answers the lockout it starts in milliseconds, or 0.
    int64_t RecordFailure(const std::string& key, int64_t nowMs);
    // A right password: the address starts afresh.
    void RecordSuccess(const std::string& key) { entries_.erase(key); }

    std::size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        int failures = 0;  // since the last lockout
        int lockouts = 0;
        int64_t lastFailureMs = 0;
        int64_t lockedUntilMs = 0;
    };
    Entry* Find(const std::string& key, int64_t nowMs);
    void MakeRoom();

    std::size_t capacity_;
    std::unordered_map<std::string, Entry> entries_;
};
