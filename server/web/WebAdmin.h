// The web admin: the HTTP and WebSocket server over the core, for a browser anywhere. A front end
// makes one with the parsed options and an audit log, calls Start() once the core runs (or has
// failed: the page then shows the server stopped) and Stop() before the core goes. Network work
// runs on a thread of its own; every action reaches the core here, on the user-interface thread,
// through a queued call.
//
// The owner's password is the server's remote admin password, read at every login, so a change
// made in the settings sheet counts at once and ends every session. While it is blank the server
// listens but nobody can log in; the console says so, the operator alone is told a one-time setup
// address, and OffReason() says why for a status line.
// While it runs, SIGHUP makes the audit log open its path afresh (after a rotation).
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "AdminApi.h"
#include "AuditLog.h"
#include "LiveFeed.h"
#include "ServerCore.h"
#include "WebAdminOptions.h"

class HangupSignal;
class UiThreadQueue;
class WebServer;

class WebAdmin : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock; tests set it

    WebAdmin(ServerCore& core, WebAdminOptions options, AuditLog& audit, Clock clock = {},
             QObject* parent = nullptr);
    ~WebAdmin() override;

    // Answers why the web admin could not start (the port is taken, TLS cannot start, the page
    // is missing), or empty. Says on the console where it listens, and warns when a network
    // address is served without TLS.
    std::string Start();
    void Stop();
    bool IsRunning() const;
    uint16_t Port() const;
    std::string Url() const;
    // Why nobody can log in now (a blank password), or empty.
    const std::string& OffReason() const { return api_.OffReason(); }

private:
    ServerCore& core_;
    WebAdminOptions options_;
    AuditLog& audit_;
    bool pageFound_ = false;
    AdminApi api_;
    LiveFeed feed_;
    QTimer housekeeping_;
    UiThreadQueue* bridge_;  // the network thread's way in; gone with its work when it stops
    std::unique_ptr<WebServer> server_;
    std::shared_ptr<bool> running_;  // while server_ may be answered; user-interface thread
    std::unique_ptr<HangupSignal> hangup_;
};
