// GET /metrics: the server's counters in Prometheus text format, for a session or a bearer token.
#pragma once

#include "RouteTable.h"

class AuditLog;
class ServerCore;
class SessionController;
class TokensController;

class MetricsController {
public:
    MetricsController(ServerCore& core, SessionController& sessions, TokensController& tokens,
                      const AuditLog& audit)
        : core_(core), sessions_(sessions), tokens_(tokens), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Metrics(const ApiCall& call);

    ServerCore& core_;
    SessionController& sessions_;
    TokensController& tokens_;
    const AuditLog& audit_;
};
