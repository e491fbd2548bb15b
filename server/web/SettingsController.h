// The settings sheet over the web: GET /api/settings (its four groups, each field by variable
// name with its kind, limits and value as the sheet shows it; a password only says whether one is
// set), POST /api/settings {"name": value, ...} through the core's one check (400 naming the first
// refused field with the sheet's message, nothing applied), and POST /api/save. Audited, with
// passwords masked.
#pragma once

#include <QJsonObject>

#include "RouteTable.h"
#include "SettingFields.h"

class ServerCore;
class WebAudit;

class SettingsController {
public:
    SettingsController(ServerCore& core, WebAudit& audit) : core_(core), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Change(const ApiCall& call, const QJsonObject& body);
    ApiResponse Save(const ApiCall& call);

    ServerCore& core_;
    WebAudit& audit_;
};
