#include "WebAudit.h"

#include <QDateTime>
#include <utility>

#include "ServerCore.h"

WebAudit::WebAudit(ServerCore& core, AuditLog& log, Clock clock)
    : core_(core), log_(log), clock_(std::move(clock)) {}

void WebAudit::Record(const AuditEvent& event) {
    std::string line = "Web admin: " + event.address;
    if (!event.session.empty()) line += " (" + event.session + ")";
    if (!event.account.empty()) line += " " + event.account;
    line += " " + event.action;
    if (!event.detail.empty()) line += " " + event.detail;
    line += ": " + event.outcome;
    core_.Announce(std::move(line));
    if (log_.Record(event, QDateTime::currentMSecsSinceEpoch())) {
        failing_ = false;
    } else if (!std::exchange(failing_, true)) {
        core_.Announce("Web admin: cannot write the audit log: " + log_.Error());
    }
}

void WebAudit::Record(const WebSession& session, std::string action, std::string outcome,
                      std::string detail) {
    Record({session.address, session.tag, std::move(action), std::move(outcome), std::move(detail),
            session.account});
}

void WebAudit::Rejected(const std::string& address, const std::string& reason) {
    const int64_t now = clock_();
    if (rejectedWindowMs_ == 0 || now - rejectedWindowMs_ >= 60'000) {
        if (rejectedSuppressed_ > 0)
            Record({"", "", "rejected", "not logged",
                    std::to_string(rejectedSuppressed_) + " more in the last minute"});
        rejectedWindowMs_ = now;
        rejectedInWindow_ = 0;
        rejectedSuppressed_ = 0;
    }
    if (rejectedInWindow_ >= kRejectedPerMinute) {
        ++rejectedSuppressed_;
        return;
    }
    ++rejectedInWindow_;
    Record({address, "", "rejected", "refused", reason});
}
