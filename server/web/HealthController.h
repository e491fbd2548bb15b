// Health: GET /healthz (200 while the server runs and its worker moves, else 503 with the reason;
// no login, no data) and GET /api/health (the samples of the last ten minutes, oldest first; the
// newest also counts the audit log's failed writes). /healthz is answered on the network thread
// from the worker's own atomics and whether the server runs, so neither a hung engine nor a
// flood of it ever waits for the user-interface thread.
#pragma once

#include <QMetaObject>
#include <array>
#include <atomic>

#include "RouteTable.h"

class AuditLog;
class ServerCore;

class HealthController {
public:
    HealthController(ServerCore& core, const AuditLog& audit);
    ~HealthController();
    HealthController(const HealthController&) = delete;
    HealthController& operator=(const HealthController&) = delete;
    void Register(RouteTable& routes);

private:
    ApiResponse Healthz() const;

    ServerCore& core_;
    const AuditLog& audit_;
    std::atomic<bool> running_{false};  // the server runs, as the user-interface thread saw it
    std::array<QMetaObject::Connection, 2> connections_;
};
