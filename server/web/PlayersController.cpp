#include "PlayersController.h"

#include <cstring>

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

void PlayersController::Register(RouteTable& routes) {
    routes.Add({"/api/players", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) {
                    return api::Json(200, web_json::Players(core_, std::time(nullptr)));
                }});
    routes.Add({"/api/kick", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Kick(call, body);
                })});
}

ApiResponse PlayersController::Kick(const ApiCall& call, const QJsonObject& body) {
    const std::optional<int32_t> id = api::WholeNumber(body.value("id"));
    if (!id) return api::Error(400, "id must be a whole number");
    std::string detail = std::to_string(*id);
    for (const PlayerRecord& player : core_.Players())
        if (player.clientId == *id)
            detail +=
                " (" + std::string(player.name, strnlen(player.name, sizeof player.name)) + ")";
    const WebSession& session = *call.session;
    const ActionResult result = core_.Kick(*id, api::WebRequester(session));
    audit_.Record(session, "kick", Describe(result), detail);
    return api::ActionAnswer(result);
}
