// The web admin's sessions: a fresh id of 256 random bits at every login, ended after 30 idle
// minutes, 12 hours after the login, at logout, or all at once (a change of the password).
// At most 16 are held; a login beyond that ends the oldest. Plain C++; times are milliseconds of
// a monotonic clock the caller reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Role.h"

struct WebSession {
    std::string id;       // the cookie's value
    std::string tag;      // six hex digits that name the session on the console and in the audit
    std::string address;  // where the login came from
    std::string account;  // the account's name; empty for the owner (the remote admin password)
    Role role = Role::Owner;
    int64_t createdMs = 0;
    int64_t lastUsedMs = 0;
};

class SessionStore {
public:
    static constexpr std::size_t kMaxSessions = 16;
    static constexpr int64_t kIdleMs = 30 * 60'000;
    static constexpr int64_t kLifeMs = 12 * 3'600'000;

    // The new session; `ended` receives the id of a session that had to make room.
    const WebSession& Create(const std::string& address, int64_t nowMs,
                             std::vector<WebSession>* ended = nullptr,
                             const std::string& account = {}, Role role = Role::Owner);
    // The live session of `id`, marked as used now; nullptr when there is none (an expired one
    // is removed).
    const WebSession* Use(const std::string& id, int64_t nowMs);
    // The live session of `id` without marking it used.
    const WebSession* Find(const std::string& id, int64_t nowMs) const;
    bool End(const std::string& id);
    std::vector<WebSession> EndAll();
    std::vector<WebSession> EndAccount(const std::string& account);
    std::vector<WebSession> EndExpired(int64_t nowMs);
    std::size_t Size() const { return sessions_.size(); }
    std::vector<std::string> Ids() const;

private:
    std::vector<WebSession> EndIf(const std::function<bool(const WebSession&)>& ends);
    static bool Expired(const WebSession& session, int64_t nowMs) {
        return nowMs - session.lastUsedMs >= kIdleMs || nowMs - session.createdMs >= kLifeMs;
    }

    std::unordered_map<std::string, WebSession> sessions_;
};
