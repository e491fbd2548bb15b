#include "MapsController.h"

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

void MapsController::Register(RouteTable& routes) {
    routes.Add({"/api/rotation", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) { return api::Json(200, web_json::Rotation(core_)); }});
    routes.Add({"/api/changemap", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return ChangeMap(call, body);
                })});
}

ApiResponse MapsController::ChangeMap(const ApiCall& call, const QJsonObject& body) {
    const std::optional<int32_t> index = api::WholeNumber(body.value("index"));
    if (!index) return api::Error(400, "index must be a whole number");
    std::string detail = std::to_string(*index);
    for (const auto& [position, world] : core_.Rotation())
        if (position == *index) detail += " (" + world + ")";
    const WebSession& session = *call.session;
    const ActionResult result = core_.ChangeMap(*index, api::WebRequester(session));
    audit_.Record({session.address, session.tag, "changemap", Describe(result), detail});
    return api::ActionAnswer(result);
}
