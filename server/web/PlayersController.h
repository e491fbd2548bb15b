// The players: GET /api/players, and POST /api/kick {"id": N}, audited with the player's name.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"

class ServerCore;
class WebAudit;

class PlayersController {
public:
    PlayersController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Kick(const ApiCall& call, const QJsonObject& body);

    ServerCore& core_;
    WebAudit& audit_;
};
