#include "MapsController.h"

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

void MapsController::Register(RouteTable& routes) {
    routes.Add(
        {"/api/rotation", Route::Method::Get, Route::Access::Session, Role::Viewer,
         [this](const ApiCall&) { return api::Json(200, web_json::Rotation(core_.Rotation())); }});
    routes.Add({"/api/changemap", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return ChangeMap(call, body);
                })});
}

ApiResponse MapsController::ChangeMap(const ApiCall& call, const QJsonObject& body) {
    const std::optional<int32_t> index = api::WholeNumber(body.value("index"));
    if (!index) return api::Error(400, "index must be a whole number");
    MapChoice choice{*index, std::nullopt};
    if (body.contains("world")) {
        const QJsonValue world = body.value("world");
        if (!world.isString()) return api::Error(400, "world must be a string");
        choice.world = world.toString().toUtf8().toStdString();
    }
    // The audit names the world that was asked for, or the one the position holds now.
    std::string detail = std::to_string(*index);
    if (choice.world) {
        detail += " (" + *choice.world + ")";
    } else {
        for (const RotationEntry& entry : core_.Rotation())
            if (entry.position == *index) detail += " (" + entry.world + ")";
    }
    const WebSession& session = *call.session;
    const ActionResult result = core_.ChangeMap(choice, api::WebRequester(session));
    audit_.Record(session, "changemap", Describe(result), detail);
    return api::ActionAnswer(result);
}
