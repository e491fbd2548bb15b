#include "ConsoleController.h"

#include "ApiAnswers.h"
#include "CommandRules.h"
#include "RequestRules.h"
#include "WebAudit.h"
#include "WebJson.h"

namespace {

// `say` and its text, and nothing chained after it that the console would run too.
bool IsSayOnly(std::string_view command) {
    const std::size_t start = command.find_first_not_of(" \t");
    if (start == std::string_view::npos) return false;
    command.remove_prefix(start);
    const bool say = command.size() >= 3 && (command[0] | 0x20) == 's' &&
                     (command[1] | 0x20) == 'a' && (command[2] | 0x20) == 'y' &&
                     (command.size() == 3 || command[3] == ' ' || command[3] == '\t');
    return say && command.find_first_of(";\n\r") == std::string_view::npos;
}

}  // namespace

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
    if (!Allows(session.role, Role::Admin) && !IsSayOnly(command))
        return api::Error(403, "a moderator may send only say");
    const ActionResult result = core_.SubmitConsoleCommand(command, api::WebRequester(session));
    audit_.Record(session, "command", Describe(result), command_rules::Masked(command));
    return api::ActionAnswer(result);
}
