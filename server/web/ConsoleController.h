// The console: GET /api/console?after=SEQ[&run=ID] (the lines after SEQ that the history still
// holds; all of them when ID is not the current run), and POST /api/command {"command": "..."},
// audited.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"

class ServerCore;
class WebAudit;

class ConsoleController {
public:
    ConsoleController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Lines(const ApiCall& call);
    ApiResponse Command(const ApiCall& call, const QJsonObject& body);

    ServerCore& core_;
    WebAudit& audit_;
};
