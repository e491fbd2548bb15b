#include "BansController.h"

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

void BansController::Register(RouteTable& routes) {
    routes.Add({"/api/bans", Route::Method::Get, Route::Access::Session, Role::Moderator,
                [this](const ApiCall&) { return api::Json(200, web_json::Bans(core_.Bans())); }});
    routes.Add({"/api/bans", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Ban(call, body);
                })});
    routes.Add({"/api/bans/remove", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Unban(call, body);
                })});
}

ApiResponse BansController::Ban(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue name = body.value("name"), reason = body.value("reason");
    if (!name.isString()) return api::Error(400, "name must be a string");
    if (!reason.isUndefined() && !reason.isString())
        return api::Error(400, "reason must be a string");
    const std::optional<int32_t> minutes = api::WholeNumber(body.value("minutes"));
    if (!minutes) return api::Error(400, "minutes must be a whole number (0: for good)");
    const std::string who = name.toString().toStdString();
    const WebSession& session = *call.session;
    const ActionOutcome outcome =
        core_.Ban(who, *minutes, reason.toString().toStdString(), api::WebRequester(session));
    audit_.Record(session, "ban", Describe(outcome.result),
                   api::AuditText(who) + " for " +
                       (*minutes == 0 ? "good" : std::to_string(*minutes) + " minutes"));
    return api::OutcomeAnswer(outcome);
}

ApiResponse BansController::Unban(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue name = body.value("name");
    if (!name.isString()) return api::Error(400, "name must be a string");
    const std::string who = name.toString().toStdString();
    const WebSession& session = *call.session;
    const ActionOutcome outcome = core_.Unban(who, api::WebRequester(session));
    audit_.Record(session, "unban", Describe(outcome.result), api::AuditText(who));
    return api::OutcomeAnswer(outcome);
}
