#include "StatusController.h"

#include "ApiAnswers.h"
#include "WebJson.h"

void StatusController::Register(RouteTable& routes) {
    routes.Add({"/api/status", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) { return api::Json(200, web_json::Status(core_)); }});
}
