// What the web admin says of what was done: every login and action goes to the console and to
// the audit log. A write that fails is counted (the log keeps the count) and said on the console
// once until writes work again. Requests refused for their Host or origin are recorded at most
// kRejectedPerMinute a minute, with a line saying how many more there were. User-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "AuditLog.h"
#include "SessionStore.h"

class ServerCore;

class WebAudit {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr int kRejectedPerMinute = 10;

    WebAudit(ServerCore& core, AuditLog& log, Clock clock);

    void Record(const AuditEvent& event);
    // What a session did, naming its address, tag and account.
    void Record(const WebSession& session, std::string action, std::string outcome,
                std::string detail = {});
    void Rejected(const std::string& address, const std::string& reason);
    AuditLog& Log() { return log_; }

private:
    ServerCore& core_;
    AuditLog& log_;
    Clock clock_;
    bool failing_ = false;
    int64_t rejectedWindowMs_ = 0;
    int rejectedInWindow_ = 0;
    int rejectedSuppressed_ = 0;
};
