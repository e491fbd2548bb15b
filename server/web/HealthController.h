// Health: GET /healthz (200 while the worker ticks, 503 otherwise; no login, no data) and
// GET /api/health (the samples of the last ten minutes, oldest first; the newest also counts
// the audit log's failed writes). /healthz is answered on the network thread from what the last
// health sample showed and whether the worker runs now, so a flood of it never queues on the
// user-interface thread.
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
    // User-interface thread: whether the worker ticks, as the health samples show it.
    void Refresh();

    ServerCore& core_;
    const AuditLog& audit_;
    std::atomic<bool> ticking_{false};
    std::array<QMetaObject::Connection, 3> connections_;
};
