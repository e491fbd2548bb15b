#include "TokensController.h"

#include <QJsonArray>
#include <ctime>

#include "ApiAnswers.h"
#include "RequestRules.h"
#include "WebAudit.h"

namespace {

QJsonObject Describe(const MetricsToken& token) {
    return {{"id", QString::fromStdString(token.id)},
            {"label", QString::fromStdString(token.label)},
            {"created", static_cast<double>(token.created)}};
}

}  // namespace

void TokensController::Register(RouteTable& routes) {
    routes.Add({"/api/tokens", Route::Method::Get, Route::Access::Session, Role::Admin,
                [this](const ApiCall&) {
                    QJsonArray list;
                    for (const MetricsToken& token : tokens_.Tokens()) list.append(Describe(token));
                    return api::Json(200, list);
                }});
    routes.Add({"/api/tokens", Route::Method::Post, Route::Access::Session, Role::Admin,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Make(call, body);
                })});
    routes.Add({"/api/tokens/remove", Route::Method::Post, Route::Access::Session, Role::Admin,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Remove(call, body);
                })});
}

ApiResponse TokensController::Make(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue label = body.value("label");
    if (!label.isString()) return api::Error(400, "label must be a string");
    const TokenStore::Made made = tokens_.Make(label.toString(), std::time(nullptr));
    audit_.Record(*call.session, "token made", made.problem.empty() ? "ok" : made.problem,
                  made.entry.id);
    if (!made.problem.empty()) return api::Error(400, QString::fromStdString(made.problem));
    QJsonObject answer = Describe(made.entry);
    answer.insert("token", QString::fromStdString(made.token));
    return api::Json(200, answer);
}

ApiResponse TokensController::Remove(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue id = body.value("id");
    if (!id.isString()) return api::Error(400, "id must be a string");
    const std::string which = id.toString().left(8).toStdString();
    std::string problem;
    const bool removed = tokens_.Remove(id.toString().toStdString(), &problem);
    audit_.Record(*call.session, "token removed",
                  removed           ? "ok"
                  : problem.empty() ? "no such token"
                                    : problem,
                  which);
    if (!problem.empty()) return api::Error(500, QString::fromStdString(problem));
    if (!removed) return api::Error(404, "no such token");
    return api::Ok();
}

std::optional<ApiResponse> TokensController::CheckBearer(const ApiRequest& request) {
    const auto refusal = [](int status, const QString& message) {
        ApiResponse response = api::Error(status, message);
        response.headers.emplace_back("WWW-Authenticate", "Bearer");
        return response;
    };
    const std::string key = AddressKey(request.address);
    if (const int64_t lockedMs = guard_.LockedForMs(key, clock_()); lockedMs > 0) {
        const int64_t seconds = (lockedMs + 999) / 1000;
        ApiResponse response =
            refusal(429, QStringLiteral("too many wrong tokens: try again in %1 s").arg(seconds));
        response.headers.emplace_back("Retry-After", std::to_string(seconds));
        return response;
    }
    if (!request.bearer) return refusal(401, "log in first, or send Authorization: Bearer");
    if (tokens_.Match(*request.bearer)) {
        guard_.RecordSuccess(key);
        return std::nullopt;
    }
    const int64_t lockout = guard_.RecordFailure(key, clock_());
    std::string outcome = "wrong token";
    if (lockout > 0) outcome += ", tokens locked out for " + std::to_string(lockout / 1000) + " s";
    audit_.Record({request.address, "", "metrics token", outcome, ""});
    return refusal(401, "wrong token");
}
