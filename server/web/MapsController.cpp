#include "MapsController.h"

#include <QJsonArray>

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

void MapsController::Register(RouteTable& routes) {
    routes.Add(
        {"/api/rotation", Route::Method::Get, Route::Access::Session, Role::Viewer,
         [this](const ApiCall&) { return api::Json(200, web_json::Rotation(core_.Rotation())); }});
    routes.Add({"/api/rotation", Route::Method::Post, Route::Access::Session, Role::Admin,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return SetRotation(call, body);
                })});
    routes.Add({"/api/worlds", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) {
                    QJsonArray worlds;
                    for (const std::string& world : core_.Worlds())
                        worlds.append(web_json::Text(world));
                    return api::Json(200, worlds);
                }});
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

ApiResponse MapsController::SetRotation(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue list = body.value("worlds");
    if (!list.isArray()) return api::Error(400, "worlds must be a list of worlds");
    const QJsonArray asked = list.toArray();
    if (asked.isEmpty() || asked.size() > kMaxRotation)
        return api::Error(400, QStringLiteral("a rotation holds 1 to %1 worlds").arg(kMaxRotation));
    // The page shows the worlds as text; the engine takes them back as the bytes it listed.
    const std::vector<std::string> found = core_.Worlds();
    std::vector<std::string> worlds;
    std::string detail;
    for (const QJsonValue& world : asked) {
        const auto known = std::ranges::find_if(found, [&](const std::string& name) {
            return world.isString() && web_json::Text(name) == world.toString();
        });
        if (known == found.end())
            return api::Error(400, QStringLiteral("no world %1 under worlds/")
                                       .arg(world.isString() ? world.toString().left(64)
                                                             : QStringLiteral("that is not text")));
        worlds.push_back(*known);
        if (detail.size() < 300) detail += (detail.empty() ? "" : ", ") + *known;
    }
    detail = std::to_string(worlds.size()) + " worlds: " + detail;
    const WebSession& session = *call.session;
    const ActionResult result = core_.SetRotation(worlds, api::WebRequester(session));
    audit_.Record(session, "rotation", Describe(result), detail);
    return api::ActionAnswer(result);
}
