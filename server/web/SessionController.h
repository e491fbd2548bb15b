// Who may come in: the owner by the remote admin password, the accounts by name and password, the
// lockout per address and the sessions, and the routes /api/login, /api/logout and /api/session.
// The password is read whole from the settings at every login and whenever a session is used, so
// a change made in the settings counts at once and ends every session; while it is blank (or too
// long to read whole) nobody can log in and OffReason() says why. An account's password is
// checked on a thread of its own, as its hash takes tens of milliseconds by design; the answer
// comes back here. User-interface thread.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QThreadPool>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AccountStore.h"
#include "LoginGuard.h"
#include "PublishedSessions.h"
#include "RouteTable.h"
#include "SessionStore.h"
#include "WebAudit.h"

class ServerCore;

class SessionController {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr const char* kCookiePrefix = "tarnwick_session_";

    // At most this many account logins are checked at once, one per address.
    static constexpr std::size_t kMaxPendingLogins = 8;

    SessionController(ServerCore& core, WebAudit& audit, Clock clock, AccountStore& accounts);
    ~SessionController();
    void Register(RouteTable& routes);

    // Once the port is known: the cookie's name holds it, as cookies are shared across ports.
    void SetPort(uint16_t port) { cookieName_ = kCookiePrefix + std::to_string(port); }

    // The live session `id` names, marked used; nullptr when there is none.
    const WebSession* Use(const std::string& id);
    bool IsLive(const std::string& id) const { return sessions_.Find(id, clock_()) != nullptr; }
    // An account was changed or removed: its sessions end.
    void EndAccountSessions(const std::string& account, const char* why);
    // Called when the password is found blank while the server runs.
    std::function<void()> onBlankPassword;

    // Sessions whose live sockets must close (logout, expiry, a changed password).
    std::function<void(std::vector<std::string> sessionIds)> onSessionsEnded;
    // Once a second: idle and old sessions end, and all end when the password changed.
    void Housekeeping();
    // Reads the password now; says on the console when logins open or close.
    void CheckPassword();
    // Why nobody can log in now, or empty.
    const std::string& OffReason() const { return offReason_; }
    // OffReason() while the remote admin password is blank.
    static const char* BlankReason();
    // Logins so far by result: "ok", "wrong_password", "locked_out".
    const std::map<std::string, uint64_t>& LoginCounts() const { return loginCounts_; }
    // The live sessions for the network thread.
    const PublishedSessions& Published() const { return published_; }

private:
    void Login(const ApiCall& call, Route::Reply reply);
    // The account's password was checked elsewhere: `ok` says how it went.
    void FinishAccountLogin(const ApiRequest& request, const std::string& formerSession,
                            const std::string& name, const std::string& hash, bool ok,
                            const Route::Reply& reply);
    ApiResponse Refuse(const std::string& address, const std::string& name);
    ApiResponse StartSession(const ApiRequest& request, const std::string& formerSession,
                             const std::string& account, Role role);
    ApiResponse Logout(const ApiCall& call);
    std::optional<ApiResponse> LockedOut(const std::string& address, const char* what);
    bool PasswordMatches(const std::string& offered) const;
    std::string Cookie(const std::string& value, bool secure, bool expire) const;
    void EndSessions(std::vector<WebSession> ended, const char* why);
    void Publish() { published_.Publish(sessions_.Ids()); }

    ServerCore& core_;
    WebAudit& audit_;
    Clock clock_;
    std::string cookieName_ = std::string(kCookiePrefix) + "0";
    SessionStore sessions_;
    PublishedSessions published_;
    LoginGuard guard_;
    std::string password_;  // as last read while an engine was bound
    bool passwordRead_ = false;
    std::string offReason_;
    std::map<std::string, uint64_t> loginCounts_;
    AccountStore& accounts_;
    std::set<std::string> pending_;  // the address keys with an account login being checked
    QObject context_;                // answers from the pool land while this lives
    QThreadPool pool_;               // last: it waits for its work before the rest goes
};
