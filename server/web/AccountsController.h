// GET and POST /api/accounts and POST /api/accounts/remove: the owner's list of further accounts.
// A changed or removed account's sessions end.
#pragma once

#include <QJsonObject>

#include "AccountStore.h"
#include "RouteTable.h"

class SessionController;
class WebAudit;

class AccountsController {
public:
    AccountsController(AccountStore& accounts, SessionController& sessions, WebAudit& audit)
        : accounts_(accounts), sessions_(sessions), audit_(audit) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Put(const ApiCall& call, const QJsonObject& body);
    ApiResponse Remove(const ApiCall& call, const QJsonObject& body);

    AccountStore& accounts_;
    SessionController& sessions_;
    WebAudit& audit_;
};
