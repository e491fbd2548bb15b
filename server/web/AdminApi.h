// The web admin's answers: one route table over a controller per subject (sessions, accounts,
// monitoring tokens, the setup address, status, players, console, maps, settings, bans, health,
// metrics, the live feed, the page). Every request and every action of a live socket is looked up
// in it: a path not in it is 404, a method the path does not take is 405 with `Allow`, and a
// route that needs a session answers 401 without one and 403 to a role that may not use it. The
// server is reached only through the core, by the controllers; logins and actions go to the audit
// log and the console.
//
// Handle() and the rest run on the user-interface thread; AnswerAtOnce() on the network thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "AccountStore.h"
#include "AccountsController.h"
#include "ApiMessages.h"
#include "AuditLog.h"
#include "BansController.h"
#include "ConsoleController.h"
#include "HealthController.h"
#include "LiveController.h"
#include "MapsController.h"
#include "MetricsController.h"
#include "PageController.h"
#include "PlayersController.h"
#include "RouteTable.h"
#include "SessionController.h"
#include "SetupController.h"
#include "SettingsController.h"
#include "StatusController.h"
#include "TokenStore.h"
#include "TokensController.h"
#include "WebAudit.h"

class ServerCore;

// Where the web admin keeps the accounts and the /metrics tokens.
struct AdminFiles {
    std::string accounts = AccountStore::kDefaultPath;
    std::string tokens = TokenStore::kDefaultPath;
};

class AdminApi {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr const char* kCookiePrefix = SessionController::kCookiePrefix;

    AdminApi(ServerCore& core, AuditLog& audit, Clock clock,
             std::map<std::string, StaticFile> page = {}, AdminFiles files = {});
    AdminApi(const AdminApi&) = delete;
    AdminApi& operator=(const AdminApi&) = delete;

    // Once it listens: the cookie's name holds the port, and the setup address names the page.
    void SetListening(uint16_t port, std::string url, std::string address) {
        sessions_.SetPort(port);
        setup_.SetListening(std::move(url), std::move(address));
    }
    // Reads the accounts and the tokens afresh; says on the console what could not be read.
    void LoadFiles();

    // Any thread: the answer to a request that needs nothing but the table (the page, a path not
    // in it, a method it does not take, a session route without a cookie); nothing when the
    // user-interface thread must answer.
    std::optional<ApiResponse> AnswerAtOnce(const ApiRequest& request) const;
    // `reply` is called once: at once, or later on this thread for an answer worked out elsewhere.
    void Handle(const ApiRequest& request, Route::Reply reply);
    // The answer when it is ready at once; a 503 in place of one that is worked out elsewhere.
    ApiResponse Handle(const ApiRequest& request);
    // One message of a live socket: {"ref": any, "action": NAME, ...} with the fields of the
    // matching POST /api/NAME, for any change a session may make; the reply carries the ref back.
    LiveReply HandleLive(const std::string& sessionId, const std::string& address,
                         const std::string& text);

    // Sessions whose live sockets must close (logout, expiry, a changed password).
    void OnSessionsEnded(std::function<void(std::vector<std::string>)> then) {
        sessions_.onSessionsEnded = std::move(then);
    }
    // Once a second: idle and old sessions end, and all end when the password changed.
    void Housekeeping() { sessions_.Housekeeping(); }
    // A request refused for its Host or origin, audited at most WebAudit::kRejectedPerMinute a
    // minute.
    void NoteRejected(const std::string& address, const std::string& reason) {
        audit_.Rejected(address, reason);
    }
    // Reads the password now; says on the console when logins open or close.
    void CheckPassword() { sessions_.CheckPassword(); }
    // Why nobody can log in now, or empty.
    const std::string& OffReason() const { return sessions_.OffReason(); }
    // Any thread: whether a cookie names a live session, to weigh its connection.
    bool IsSession(const std::string& sessionId) const {
        return sessions_.Published().Contains(sessionId);
    }

private:
    ServerCore& core_;
    WebAudit audit_;
    AccountStore accounts_;
    TokenStore tokens_;
    SessionController sessions_;
    AccountsController accountsApi_;
    TokensController tokensApi_;
    SetupController setup_;
    StatusController status_;
    PlayersController players_;
    ConsoleController console_;
    MapsController maps_;
    SettingsController settings_;
    BansController bans_;
    HealthController health_;
    MetricsController metrics_;
    LiveController live_;
    PageController page_;
    RouteTable routes_;
};
