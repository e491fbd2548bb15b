// The map: GET /api/rotation, and POST /api/changemap {"index": N, "world": "..."} (409 when the
// entry no longer holds that world; `world` may be left out), audited with the world.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"

class ServerCore;
class WebAudit;

class MapsController {
public:
    MapsController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse ChangeMap(const ApiCall& call, const QJsonObject& body);

    ServerCore& core_;
    WebAudit& audit_;
};
