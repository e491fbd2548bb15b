#include "ConsoleController.h"

#include "ApiAnswers.h"
#include "CommandRules.h"
#include "RequestRules.h"
#include "WebAudit.h"
#include "WebJson.h"

void ConsoleController::Register(RouteTable& routes) {
    routes.Add({"/api/console", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall& call) { return Lines(call); }});
    routes.Add({"/api/command", Route::Method::Post, Route::Access::Session, Role::Moderator,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Command(call, body);
                })});
}

ApiResponse ConsoleController::Lines(const ApiCall& call) {
    const std::optional<ConsoleQuery> query = ParseConsoleQuery(call.request.query);
    if (!query) return api::Error(400, "after must be a console sequence number");
    return api::Json(200,
                     web_json::ConsoleLines(core_.Console().After(query->AfterIn(core_.RunId()))));
}

ApiResponse ConsoleController::Command(const ApiCall& call, const QJsonObject& body) {
    const QJsonValue value = body.value("command");
    if (!value.isString()) return api::Error(400, "command must be a string");
    const QString text = value.toString();
    // The console takes Latin-1, as the window's command field sends it.
    const QByteArray bytes = text.toLatin1();
    if (QString::fromLatin1(bytes) != text)
        return api::Error(400, "a command may hold only Latin-1 characters");
    const std::string command = bytes.toStdString();
    const WebSession& session = *call.session;
    const ActionResult result = core_.SubmitConsoleCommand(command, api::WebRequester(session));
    audit_.Record({session.address, session.tag, "command", Describe(result),
                   command_rules::Masked(command)});
    return api::ActionAnswer(result);
}
