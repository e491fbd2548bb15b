// The map: GET /api/rotation, POST /api/changemap {"index": N, "world": "..."} (409 when the
// entry no longer holds that world; `world` may be left out), GET /api/worlds, and POST
// /api/rotation {"worlds": [...]} (only worlds the server finds, at most kMaxRotation), each
// change audited with its worlds.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"
#include "ServerSettings.h"

class ServerCore;
class WebAudit;

class MapsController {
public:
    MapsController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    static constexpr int kMaxRotation = ServerSettings::kMaxRotationEntries;

    void Register(RouteTable& routes);

private:
    ApiResponse ChangeMap(const ApiCall& call, const QJsonObject& body);
    ApiResponse SetRotation(const ApiCall& call, const QJsonObject& body);

    ServerCore& core_;
    WebAudit& audit_;
};
