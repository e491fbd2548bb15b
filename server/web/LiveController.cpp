#include "LiveController.h"

#include "ApiAnswers.h"
#include "RequestRules.h"
#include "ServerCore.h"
#include "WebJson.h"

void LiveController::Register(RouteTable& routes) {
    routes.Add({"/api/live", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall& call) { return Admit(call); }});
}

ApiResponse LiveController::Admit(const ApiCall& call) const {
    if (!call.request.upgrade) return api::Error(426, "/api/live is a WebSocket");
    const std::optional<ConsoleQuery> query = ParseConsoleQuery(call.request.query);
    if (!query) return api::Error(400, "after must be a console sequence number");
    ApiResponse granted;
    granted.status = 101;
    granted.live =
        LiveGrant{call.session->id, Greeting(call.session->tag, query->AfterIn(core_.RunId()))};
    return granted;
}

std::vector<std::string> LiveController::Greeting(const std::string& sessionTag,
                                                  uint64_t afterSeq) const {
    std::vector<std::string> greeting;
    greeting.push_back(
        web_json::Event("hello", QJsonObject{{"session", QString::fromStdString(sessionTag)},
                                             {"runId", QString::fromStdString(core_.RunId())}}));
    greeting.push_back(web_json::Event("status", web_json::Status(core_)));
    greeting.push_back(web_json::Event("players", web_json::Players(core_, std::time(nullptr))));
    greeting.push_back(web_json::Event("rotation", web_json::Rotation(core_.Rotation())));
    // The latest lines that fit the bound, so the greeting stays well inside a socket's queue.
    std::vector<ConsoleEntry> lines = core_.Console().After(afterSeq);
    std::size_t bytes = 0, first = lines.size();
    while (first > 0 && bytes + lines[first - 1].text.size() <= kGreetingConsoleBytes)
        bytes += lines[--first].text.size();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first));
    greeting.push_back(web_json::Event("console", web_json::ConsoleLines(lines)));
    return greeting;
}
