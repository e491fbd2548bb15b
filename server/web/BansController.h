// Bans over the web: GET /api/bans (name, until: seconds since 1970 or 0 for good, by, reason),
// POST /api/bans {"name", "minutes", "reason"} (minutes 0: for good) and POST /api/bans/remove
// {"name"}, through the core's own checks and audited.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"

class ServerCore;
class WebAudit;

class BansController {
public:
    BansController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Ban(const ApiCall& call, const QJsonObject& body);
    ApiResponse Unban(const ApiCall& call, const QJsonObject& body);

    ServerCore& core_;
    WebAudit& audit_;
};
