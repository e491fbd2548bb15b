#include "AdminApi.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <cstring>

#include "CommandRules.h"
#include "RequestRules.h"
#include "ServerMetrics.h"
#include "WebJson.h"

namespace {

constexpr const char* kNotRunningReason = "the server is not running yet";
constexpr const char* kBlankPasswordReason =
    "the remote admin password is blank: set it in the settings (Server, Remote Admin)";

int64_t EpochMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

ApiResponse Json(int status, const QJsonValue& value) {
    return {status, "application/json", web_json::Compact(value), {}};
}

ApiResponse Error(int status, const QString& message) {
    return Json(status, QJsonObject{{"error", message}});
}

ApiResponse Error(int status, const char* message) {
    return Error(status, QString::fromUtf8(message));
}

ApiResponse Ok() {
    return Json(200, QJsonObject{{"ok", true}});
}

ApiResponse MethodNotAllowed(const char* allowed) {
    ApiResponse response = Error(405, QStringLiteral("use %1 here").arg(QLatin1String(allowed)));
    response.headers.emplace_back("Allow", allowed);
    return response;
}

// The body of a change as a JSON object, or the 400 that says why not.
std::optional<QJsonObject> ReadObject(const std::string& body, ApiResponse& error) {
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &parse);
    if (parse.error != QJsonParseError::NoError) {
        error =
            Error(400, QStringLiteral("the body is not valid JSON: %1").arg(parse.errorString()));
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = Error(400, "the body must be a JSON object");
        return std::nullopt;
    }
    return document.object();
}

// A whole number in the 32-bit range, as JSON numbers are doubles.
std::optional<int32_t> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < -2147483648.0 ||
        number > 2147483647.0)
        return std::nullopt;
    return static_cast<int32_t>(number);
}

std::optional<uint64_t> AfterParameter(const std::string& query, bool& bad) {
    bad = false;
    std::string_view rest = query;
    while (!rest.empty()) {
        const std::size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        if (pair.rfind("after=", 0) == 0) {
            const std::string_view digits = pair.substr(6);
            uint64_t value = 0;
            if (digits.empty() || digits.size() > 19) {
                bad = true;
                return std::nullopt;
            }
            for (char c : digits) {
                if (c < '0' || c > '9') {
                    bad = true;
                    return std::nullopt;
                }
                value = value * 10 + static_cast<uint64_t>(c - '0');
            }
            return value;
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

Requester WebRequester(const WebSession& session, const std::string& address) {
    return {Requester::Kind::Web, address, session.tag, {}};
}

}  // namespace

AdminApi::AdminApi(ServerCore& core, AuditLog& audit, Clock clock)
    : core_(core), audit_(audit), clock_(std::move(clock)), offReason_(kNotRunningReason) {
    SetPort(0);
}

void AdminApi::SetPort(uint16_t port) {
    cookieName_ = kCookiePrefix + std::to_string(port);
}

void AdminApi::Audit(AuditEvent event) {
    const int64_t now = EpochMs();
    std::string line = "Web admin: " + event.address;
    if (!event.session.empty()) line += " (" + event.session + ")";
    line += " " + event.action;
    if (!event.detail.empty()) line += " " + event.detail;
    line += ": " + event.outcome;
    core_.Announce(std::move(line));
    if (!audit_.Record(event, now)) {
        if (!std::exchange(auditFailed_, true))
            core_.Announce("Web admin: cannot write the audit log: " + audit_.Error());
    } else {
        auditFailed_ = false;
    }
}

void AdminApi::CheckPassword() {
    // Only a running server's password counts: none is read before the server runs (the web
    // admin listens from before the start), and after it stops the last one read stays.
    if (core_.Status().state != ServerState::Running || !core_.HasServer()) return;
    const std::string now = core_.WholeSettingText(SettingText::RemoteAdminPassword);
    const bool blank = now.empty() || now == " ";
    const bool changed = passwordRead_ && now != password_;
    const bool first = !passwordRead_;
    password_ = now;
    passwordRead_ = true;
    if (changed) EndSessions(sessions_.EndAll(), "the remote admin password changed");
    if (blank && (first || changed || offReason_.empty())) {
        offReason_ = kBlankPasswordReason;
        core_.Announce(std::string("Web admin: off until ") +
                       "the remote admin password is set "
                       "(settings, Server, Remote Admin)");
    } else if (!blank && !offReason_.empty()) {
        offReason_.clear();
        if (!first) core_.Announce("Web admin: the remote admin password is set; logins are open");
    }
}

bool AdminApi::PasswordMatches(const std::string& offered) {
    // Digests of equal length, compared without an early exit, so the time says nothing about
    // how much of the password was right.
    unsigned char want[SHA256_DIGEST_LENGTH], got[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(password_.data()), password_.size(), want);
    SHA256(reinterpret_cast<const unsigned char*>(offered.data()), offered.size(), got);
    return CRYPTO_memcmp(want, got, sizeof want) == 0 && offReason_.empty();
}

std::optional<ApiResponse> AdminApi::LockedOut(const std::string& address, const char* what) {
    const int64_t lockedMs = guard_.LockedForMs(AddressKey(address), clock_());
    if (lockedMs <= 0) return std::nullopt;
    const int64_t seconds = (lockedMs + 999) / 1000;
    NoteRejected(address, std::string(what) + " while locked out");
    ApiResponse response =
        Error(429, QStringLiteral("too many wrong passwords: try again in %1 s").arg(seconds));
    response.headers.emplace_back("Retry-After", std::to_string(seconds));
    return response;
}

std::string AdminApi::SessionCookie(const std::string& value, bool secure, bool expire) const {
    std::string cookie = cookieName_ + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (secure) cookie += "; Secure";
    if (expire) cookie += "; Max-Age=0";
    return cookie;
}

void AdminApi::EndSessions(std::vector<WebSession> ended, const char* why) {
    if (ended.empty()) return;
    std::vector<std::string> ids;
    for (const WebSession& session : ended) {
        ids.push_back(session.id);
        Audit({session.address, session.tag, "session", "ended", why});
    }
    if (onSessionsEnded) onSessionsEnded(std::move(ids));
}

const WebSession* AdminApi::LiveSession(const std::string& id) {
    if (id.empty()) return nullptr;
    CheckPassword();
    return sessions_.Use(id, clock_());
}

bool AdminApi::WorkerTicks() const {
    if (core_.Status().state != ServerState::Running || !core_.IsWorkerRunning()) return false;
    // A worker that runs but has not stepped for the last whole second is stuck.
    const std::vector<HealthSample> samples = core_.Health();
    return samples.empty() || samples.back().steps > 0 ||
           QDateTime::currentMSecsSinceEpoch() - samples.back().timeMs > 3000;
}

ApiResponse AdminApi::Handle(const ApiRequest& request) {
    if (request.path == "/healthz") {
        if (request.method != "GET") return MethodNotAllowed("GET");
        const bool ticks = WorkerTicks();
        return Json(ticks ? 200 : 503, QJsonObject{{"ok", ticks}});
    }
    if (request.path == "/api/login") {
        if (request.method != "POST") return MethodNotAllowed("POST");
        return Login(request);
    }
    if (request.path == "/metrics") {
        if (request.method != "GET") return MethodNotAllowed("GET");
        return Metrics(request);
    }
    const WebSession* session = LiveSession(request.sessionId);
    if (!session) return Error(401, "log in first");
    return Route(request, *session);
}

ApiResponse AdminApi::Route(const ApiRequest& request, const WebSession& session) {
    const std::string& path = request.path;
    const bool get = request.method == "GET";
    const auto needGet = [&] {
        return get ? std::nullopt : std::optional(MethodNotAllowed("GET"));
    };

    if (path == "/api/status") {
        if (auto refused = needGet()) return *refused;
        return Json(200, web_json::Status(core_.Status(), EpochMs()));
    }
    if (path == "/api/players") {
        if (auto refused = needGet()) return *refused;
        return Json(200, web_json::Players(core_, std::time(nullptr)));
    }
    if (path == "/api/console") {
        if (auto refused = needGet()) return *refused;
        bool bad = false;
        const uint64_t after = AfterParameter(request.query, bad).value_or(0);
        if (bad) return Error(400, "after must be a console sequence number");
        return Json(200, web_json::ConsoleLines(core_.Console().After(after)));
    }
    if (path == "/api/rotation") {
        if (auto refused = needGet()) return *refused;
        return Json(200, web_json::Rotation(core_.Rotation()));
    }
    if (path == "/api/health") {
        if (auto refused = needGet()) return *refused;
        return Json(200, web_json::HealthSamples(core_.Health()));
    }
    if (path == "/api/live") return Error(426, "/api/live is a WebSocket");

    const bool action = path == "/api/logout" || path == "/api/command" || path == "/api/kick" ||
                        path == "/api/changemap";
    if (!action) return Error(404, "no such path");
    if (get) return MethodNotAllowed("POST");
    if (path == "/api/logout") return Logout(request, session);
    ApiResponse bad;
    const std::optional<QJsonObject> body = ReadObject(request.body, bad);
    if (!body) return bad;
    if (path == "/api/command") return Command(*body, session);
    if (path == "/api/kick") return Kick(*body, session);
    return ChangeMap(*body, session);
}

ApiResponse AdminApi::Login(const ApiRequest& request) {
    if (auto refused = LockedOut(request.address, "a login")) {
        ++loginCounts_["locked_out"];
        return *refused;
    }
    ApiResponse bad;
    const std::optional<QJsonObject> body = ReadObject(request.body, bad);
    if (!body) return bad;
    const QJsonValue offered = body->value("password");
    if (!offered.isString()) return Error(400, "password must be a string");

    CheckPassword();
    if (!offReason_.empty())
        return Error(503, QStringLiteral("the web admin is off: %1").arg(offReason_.c_str()));
    // The engine keeps Latin-1 bytes; a password typed in the page arrives as UTF-8.
    const QString text = offered.toString();
    const QByteArray bytes = text.toLatin1();
    const bool representable = QString::fromLatin1(bytes) == text;
    const std::string key = AddressKey(request.address);
    if (!representable || !PasswordMatches(bytes.toStdString())) {
        ++loginCounts_["wrong_password"];
        const int64_t lockout = guard_.RecordFailure(key, clock_());
        std::string outcome = "wrong password";
        if (lockout > 0) outcome += ", locked out for " + std::to_string(lockout / 1000) + " s";
        Audit({request.address, "", "login", outcome, ""});
        return Error(401, "wrong password");
    }
    guard_.RecordSuccess(key);
    if (!request.sessionId.empty())  // a fresh id at every login
        if (const WebSession* old = sessions_.Find(request.sessionId, clock_())) {
            std::vector<WebSession> replaced{*old};
            sessions_.End(request.sessionId);
            EndSessions(std::move(replaced), "replaced by a new login");
        }
    std::vector<WebSession> evicted;
    const WebSession& session = sessions_.Create(request.address, clock_(), &evicted);
    const std::string id = session.id, tag = session.tag;
    EndSessions(std::move(evicted), "too many sessions: the oldest ends");
    ++loginCounts_["ok"];
    Audit({request.address, tag, "login", "ok", ""});
    ApiResponse response =
        Json(200, QJsonObject{{"ok", true}, {"session", QString::fromStdString(tag)}});
    response.headers.emplace_back("Set-Cookie", SessionCookie(id, request.secure, false));
    return response;
}

ApiResponse AdminApi::Logout(const ApiRequest& request, const WebSession& session) {
    const WebSession ended = session;
    sessions_.End(ended.id);
    Audit({request.address, ended.tag, "logout", "ok", ""});
    if (onSessionsEnded) onSessionsEnded({ended.id});
    ApiResponse response = Ok();
    response.headers.emplace_back("Set-Cookie", SessionCookie("", request.secure, true));
    return response;
}

ApiResponse AdminApi::Metrics(const ApiRequest& request) {
    if (!LiveSession(request.sessionId)) {
        if (auto refused = LockedOut(request.address, "a /metrics token")) return *refused;
        if (!request.bearer) {
            ApiResponse response = Error(401, "log in first, or send Authorization: Bearer");
            response.headers.emplace_back("WWW-Authenticate", "Bearer");
            return response;
        }
        CheckPassword();
        if (!offReason_.empty()) return Error(503, "the web admin is off");
        if (!PasswordMatches(*request.bearer)) {
            const int64_t lockout = guard_.RecordFailure(AddressKey(request.address), clock_());
            std::string outcome = "wrong password";
            if (lockout > 0) outcome += ", locked out for " + std::to_string(lockout / 1000) + " s";
            Audit({request.address, "", "metrics token", outcome, ""});
            ApiResponse response = Error(401, "wrong token");
            response.headers.emplace_back("WWW-Authenticate", "Bearer");
            return response;
        }
        guard_.RecordSuccess(AddressKey(request.address));
    }
    MetricsSnapshot metrics = core_.Metrics();
    metrics.webLogins = loginCounts_;
    const std::string text = PrometheusText(metrics);
    return {200, "text/plain; version=0.0.4; charset=utf-8", text, {}};
}

ApiResponse AdminApi::ActionAnswer(ActionResult result) {
    if (result == ActionResult::Done) return Ok();
    // A valid request the server's state turned down (a world whose file is gone) is a conflict.
    const int status = result == ActionResult::NoServer                                      ? 503
                       : result == ActionResult::NotFound                                    ? 404
                       : result == ActionResult::Refused || result == ActionResult::Conflict ? 409
                                                                                             : 400;
    return Error(status, Describe(result));
}

ApiResponse AdminApi::Command(const QJsonObject& body, const WebSession& session) {
    const QJsonValue value = body.value("command");
    if (!value.isString()) return Error(400, "command must be a string");
    const QString text = value.toString();
    // The console takes Latin-1, as the window's command field sends it.
    const QByteArray bytes = text.toLatin1();
    if (QString::fromLatin1(bytes) != text)
        return Error(400, "a command may hold only Latin-1 characters");
    const std::string command = bytes.toStdString();
    const ActionResult result =
        core_.SubmitConsoleCommand(command, WebRequester(session, session.address));
    Audit({session.address, session.tag, "command", Describe(result),
           command_rules::Masked(command)});
    return ActionAnswer(result);
}

ApiResponse AdminApi::Kick(const QJsonObject& body, const WebSession& session) {
    const std::optional<int32_t> id = WholeNumber(body.value("id"));
    if (!id) return Error(400, "id must be a whole number");
    std::string detail = std::to_string(*id);
    for (const PlayerRecord& player : core_.Players())
        if (player.clientId == *id)
            detail +=
                " (" + std::string(player.name, strnlen(player.name, sizeof player.name)) + ")";
    const ActionResult result = core_.Kick(*id, WebRequester(session, session.address));
    Audit({session.address, session.tag, "kick", Describe(result), detail});
    return ActionAnswer(result);
}

ApiResponse AdminApi::ChangeMap(const QJsonObject& body, const WebSession& session) {
    const std::optional<int32_t> index = WholeNumber(body.value("index"));
    if (!index) return Error(400, "index must be a whole number");
    MapChoice choice{*index, std::nullopt};
    if (body.contains("world")) {
        const QJsonValue world = body.value("world");
        if (!world.isString()) return Error(400, "world must be a string");
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
    const ActionResult result = core_.ChangeMap(choice, WebRequester(session, session.address));
    Audit({session.address, session.tag, "changemap", Describe(result), detail});
    return ActionAnswer(result);
}

std::optional<WebSession> AdminApi::AdmitLive(const ApiRequest& request, ApiResponse& refusal) {
    const WebSession* session = LiveSession(request.sessionId);
    if (!session) {
        refusal = Error(401, "log in first");
        return std::nullopt;
    }
    return *session;
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
        return {reply(Error(400, "a message must be a JSON object")), false};
    const QJsonValue action = message.value("action");
    const QString name = action.toString();
    if (!action.isString() || (name != "command" && name != "kick" && name != "changemap"))
        return {reply(Error(400, "action must be command, kick or changemap")), false};

    ApiRequest request;
    request.method = "POST";
    request.path = "/api/" + name.toStdString();
    request.body = text;
    request.sessionId = sessionId;
    request.address = address;
    const WebSession* session = LiveSession(sessionId);
    if (!session) return {reply(Error(401, "the session has ended")), true};
    return {reply(Route(request, *session)), false};
}

void AdminApi::Housekeeping() {
    EndSessions(sessions_.EndExpired(clock_()), "expired");
    CheckPassword();
}

void AdminApi::NoteRejected(const std::string& address, const std::string& reason) {
    const int64_t now = clock_();
    if (rejectedWindowMs_ == 0 || now - rejectedWindowMs_ >= 60'000) {
        if (rejectedSuppressed_ > 0)
            Audit({"", "", "rejected", "not logged",
                   std::to_string(rejectedSuppressed_) + " more in the last minute"});
        rejectedWindowMs_ = now;
        rejectedInWindow_ = 0;
        rejectedSuppressed_ = 0;
    }
    if (rejectedInWindow_ >= kRejectedPerMinute) {
        ++rejectedSuppressed_;
        return;
    }
    ++rejectedInWindow_;
    Audit({address, "", "rejected", "refused", reason});
}
