// GET /api/status: the state, world, players and rates as the last status pass saw them.
#pragma once

#include "RouteTable.h"

class ServerCore;

class StatusController {
public:
    explicit StatusController(ServerCore& core) : core_(core) {}
    void Register(RouteTable& routes);

private:
    ServerCore& core_;
};
