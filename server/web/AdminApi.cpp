#include "AdminApi.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include "ApiAnswers.h"
#include "WebJson.h"

AdminApi::AdminApi(ServerCore& core, AuditLog& audit, Clock clock,
                   std::map<std::string, StaticFile> page, AdminFiles files)
    : core_(core),
      audit_(core, audit, clock),
      accounts_(std::move(files.accounts)),
      tokens_(std::move(files.tokens)),
      sessions_(core, audit_, clock, accounts_),
      accountsApi_(accounts_, sessions_, audit_),
      tokensApi_(tokens_, audit_, clock),
      setup_(core, sessions_, audit_, clock),
      status_(core),
      players_(core, audit_),
      console_(core, audit_),
      maps_(core, audit_),
      settings_(core, audit_),
      bans_(core, audit_),
      health_(core, audit),
      metrics_(core, sessions_, tokensApi_, audit),
      live_(core),
      page_(std::move(page)) {
    sessions_.Register(routes_);
    accountsApi_.Register(routes_);
    tokensApi_.Register(routes_);
    setup_.Register(routes_);
    sessions_.onBlankPassword = [this] { setup_.Offer(); };
    status_.Register(routes_);
    players_.Register(routes_);
    console_.Register(routes_);
    maps_.Register(routes_);
    settings_.Register(routes_);
    bans_.Register(routes_);
    health_.Register(routes_);
    metrics_.Register(routes_);
    live_.Register(routes_);
    page_.Register(routes_);
}

void AdminApi::LoadFiles() {
    for (const std::string& problem : {accounts_.Load(), tokens_.Load()})
        if (!problem.empty()) core_.Announce("Web admin: " + problem + "; none is used");
}

std::optional<ApiResponse> AdminApi::AnswerAtOnce(const ApiRequest& request) const {
    RouteTable::Match match = routes_.Find(request.method, request.path);
    if (!match.route) return std::move(match.refusal);
    const Route& route = *match.route;
    // Without a cookie there is no session to look up: the user-interface thread is spared.
    if (route.access == Route::Access::Session && request.sessionId.empty())
        return api::Error(401, "log in first");
    if (route.thread != Route::Thread::Any) return std::nullopt;
    return route.handler({request, nullptr});
}

void AdminApi::Handle(const ApiRequest& request, Route::Reply reply) {
    RouteTable::Match match = routes_.Find(request.method, request.path);
    if (!match.route) return reply(std::move(*match.refusal));
    const Route& route = *match.route;
    const WebSession* session = sessions_.Use(request.sessionId);
    if (route.access == Route::Access::Session) {
        if (!session) return reply(api::Error(401, "log in first"));
        if (!Allows(session->role, route.role))
            return reply(api::Error(403, QStringLiteral("a session of the %1 role may not use this")
                                             .arg(QLatin1String(Describe(session->role)))));
    }
    if (route.deferred) return route.deferred({request, session}, std::move(reply));
    reply(route.handler({request, session}));
}

ApiResponse AdminApi::Handle(const ApiRequest& request) {
    auto answer = std::make_shared<std::optional<ApiResponse>>();
    Handle(request, [answer](ApiResponse response) { *answer = std::move(response); });
    if (*answer) return std::move(**answer);
    return api::Error(503, "this answer is worked out elsewhere: ask through the web server");
}

LiveReply AdminApi::HandleLive(const std::string& sessionId, const std::string& address,
                               const std::string& text) {
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parse);
    const QJsonObject message = document.object();
    const QJsonValue ref = message.value("ref");
    const auto reply = [&](const ApiResponse& response) {
        const QJsonObject body =
            QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object();
        return web_json::Event(
            "reply", QJsonObject{{"ref", ref}, {"status", response.status}, {"body", body}});
    };
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        return {reply(api::Error(400, "a message must be a JSON object")), false};

    ApiRequest request;
    request.method = "POST";
    request.path = "/api/" + message.value("action").toString().toStdString();
    request.body = text;
    request.sessionId = sessionId;
    request.address = address;
    // A live socket makes the changes a session may make: never a login.
    const RouteTable::Match match = routes_.Find(request.method, request.path);
    if (!match.route || match.route->access != Route::Access::Session)
        return {reply(api::Error(400, "action must name a change: command, kick, changemap, ...")),
                false};
    if (!sessions_.IsLive(sessionId))
        return {reply(api::Error(401, "the session has ended")), true};
    return {reply(Handle(request)), false};
}
