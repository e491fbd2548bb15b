// The web admin's answers on the user-interface thread: logins and sessions, the lockout, every
// /api/ path, /metrics and /healthz, and the actions a live socket sends. It reaches the server
// only through the core, and writes every login and action to the audit log and the console.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ApiMessages.h"
#include "AuditLog.h"
#include "LoginGuard.h"
#include "ServerCore.h"
#include "SessionStore.h"

class AdminApi {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr int kRejectedPerMinute = 10;
    static constexpr const char* kCookiePrefix = "tarnwick_session_";

    AdminApi(ServerCore& core, AuditLog& audit, Clock clock);

    // Once the port is known: the cookie's name holds it, as cookies are shared across ports.
    void SetPort(uint16_t port);
    const std::string& CookieName() const { return cookieName_; }

    // Sessions whose live sockets must close (logout, expiry, a changed password).
    std::function<void(std::vector<std::string> sessionIds)> onSessionsEnded;

    ApiResponse Handle(const ApiRequest& request);
    // A WebSocket's upgrade: the session it belongs to, marked used; nothing (and `refusal`
    // set) when it has none.
    std::optional<WebSession> AdmitLive(const ApiRequest& request, ApiResponse& refusal);
    // One message from a live socket: {"ref": any, "action": "command"|"kick"|"changemap", ...}
    // with the fields of the matching POST; the reply carries the ref back.
    LiveReply HandleLive(const std::string& sessionId, const std::string& address,
                         const std::string& text);
    // Once a second: idle and old sessions end, and all end when the password changed.
    void Housekeeping();
    // A request refused for its Host or origin, audited at most kRejectedPerMinute a minute.
    void NoteRejected(const std::string& address, const std::string& reason);

    // Why nobody can log in now, or empty.
    const std::string& OffReason() const { return offReason_; }
    // Logins so far by result: "ok", "wrong_password", "locked_out".
    const std::map<std::string, uint64_t>& LoginCounts() const { return loginCounts_; }
    // Reads the password now; says on the console when logins open or close.
    void CheckPassword();

private:
    ApiResponse Login(const ApiRequest& request);
    ApiResponse Logout(const ApiRequest& request, const WebSession& session);
    ApiResponse Metrics(const ApiRequest& request);
    ApiResponse Route(const ApiRequest& request, const WebSession& session);
    ApiResponse Command(const QJsonObject& body, const WebSession& session);
    ApiResponse Kick(const QJsonObject& body, const WebSession& session);
    ApiResponse ChangeMap(const QJsonObject& body, const WebSession& session);
    ApiResponse ActionAnswer(ActionResult result);
    ApiResponse Healthz() const;
    // The session a request names, after the password is read again; nothing when there is none.
    const WebSession* LiveSession(const std::string& id);
    std::optional<ApiResponse> LockedOut(const std::string& address, const char* what);
    bool PasswordMatches(const std::string& offered);
    std::string SessionCookie(const std::string& value, bool secure, bool expire) const;
    void EndSessions(std::vector<WebSession> ended, const char* why);
    void Audit(AuditEvent event);

    ServerCore& core_;
    AuditLog& audit_;
    Clock clock_;
    std::string cookieName_;
    SessionStore sessions_;
    LoginGuard guard_;
    std::string password_;  // as last read while an engine was bound
    bool passwordRead_ = false;
    std::string offReason_;
    std::map<std::string, uint64_t> loginCounts_;
    int64_t rejectedWindowMs_ = 0;
    int rejectedInWindow_ = 0;
    int rejectedSuppressed_ = 0;
    bool auditFailed_ = false;
};
