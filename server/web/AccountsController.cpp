#include "AccountsController.h"

#include <QJsonArray>

#include "ApiAnswers.h"
#include "SessionController.h"
#include "WebAudit.h"

void AccountsController::Register(RouteTable& routes) {
    routes.Add({"/api/accounts", Route::Method::Get, Route::Access::Session, Role::Owner,
                [this](const ApiCall&) {
                    QJsonArray list;
                    for (const Account& account : accounts_.Accounts())
                        list.append(QJsonObject{{"name", QString::fromStdString(account.name)},
                                                {"role", QLatin1String(Describe(account.role))}});
                    return api::Json(200, list);
                }});
    routes.Add({"/api/accounts", Route::Method::Post, Route::Access::Session, Role::Owner,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Put(call, body);
                })});
    routes.Add({"/api/accounts/remove", Route::Method::Post, Route::Access::Session, Role::Owner,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Remove(call, body);
                })});
}

ApiResponse AccountsController::Put(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue name = body.value("name"), role = body.value("role"),
                     password = body.value("password");
    if (!name.isString() || !role.isString() || !password.isString())
        return api::Error(400, "name, role and password must be strings");
    const std::string who = name.toString().left(AccountStore::kMaxNameLength).toStdString();
    const bool existed = accounts_.Find(who).has_value();
    const std::string why = accounts_.Put(name.toString(), role.toString(), password.toString());
    const std::string detail = who + " as " + role.toString().left(16).toStdString();
    audit_.Record(*call.session, existed ? "account changed" : "account added",
                  why.empty() ? "ok" : why, detail);
    if (!why.empty()) return api::Error(400, QString::fromStdString(why));
    if (existed) sessions_.EndAccountSessions(who, "the account changed");
    return api::Ok();
}

ApiResponse AccountsController::Remove(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue name = body.value("name");
    if (!name.isString()) return api::Error(400, "name must be a string");
    const std::string who = name.toString().left(AccountStore::kMaxNameLength).toStdString();
    std::string problem;
    const bool removed = accounts_.Remove(name.toString().toStdString(), &problem);
    audit_.Record(*call.session, "account removed",
                  removed           ? "ok"
                  : problem.empty() ? "no such account"
                                    : problem,
                  who);
    if (!problem.empty()) return api::Error(500, QString::fromStdString(problem));
    if (!removed) return api::Error(404, "no such account");
    sessions_.EndAccountSessions(who, "the account was removed");
    return api::Ok();
}
