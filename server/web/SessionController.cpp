#include "SessionController.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "ApiAnswers.h"
#include "RequestRules.h"
#include "ServerCore.h"
#include "ServerSettings.h"

namespace {

constexpr const char* kNotRunningReason = "the server is not running yet";

// Why nobody can log in, and what the console says of it.
struct Off {
    const char* reason;
    const char* line;
};
constexpr Off kBlank{
    "the remote admin password is blank: set it in the settings (Server, Remote Admin)",
    "Web admin: off until the remote admin password is set (settings, Server, Remote Admin)"};
constexpr Off kTooLong{
    "the remote admin password is too long to be read whole: set one of at most 254 characters",
    "Web admin: off until the remote admin password is at most 254 characters long"};

}  // namespace

SessionController::SessionController(ServerCore& core, WebAudit& audit, Clock clock)
    : core_(core), audit_(audit), clock_(std::move(clock)), offReason_(kNotRunningReason) {}

void SessionController::Register(RouteTable& routes) {
    using M = Route::Method;
    using A = Route::Access;
    routes.Add({"/api/login", M::Post, A::Anyone, Role::Viewer,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Login(call, body);
                })});
    routes.Add({"/api/logout", M::Post, A::Session, Role::Viewer,
                [this](const ApiCall& call) { return Logout(call); }});
}

void SessionController::CheckPassword() {
    // Only a running server's password counts: none is read before the server runs (the web
    // admin listens from before the start), and after it stops the last one read stays.
    if (core_.Status().state != ServerState::Running) return;
    // The core's copy from its last status pass: a slow engine holds no request here.
    const std::optional<std::string>& read = core_.OwnerPassword();
    if (!read) return;
    const std::string& now = *read;
    // What fills the read buffer may have been cut: never compare a cut password.
    const bool tooLong =
        now.size() + 1 >= static_cast<std::size_t>(ServerSettings::kCommandLineSize);
    const Off* off = tooLong ? &kTooLong : now.empty() ? &kBlank : nullptr;
    const bool changed = passwordRead_ && now != password_;
    const bool first = !passwordRead_;
    password_ = now;
    passwordRead_ = true;
    if (changed) EndSessions(sessions_.EndAll(), "the remote admin password changed");
    if (off && (first || changed || offReason_ != off->reason)) {
        offReason_ = off->reason;
        core_.Announce(off->line);
    } else if (!off && !offReason_.empty()) {
        offReason_.clear();
        if (!first) core_.Announce("Web admin: the remote admin password is set; logins are open");
    }
}

bool SessionController::PasswordMatches(const std::string& offered) const {
    // Digests of equal length, compared without an early exit, so the time says nothing about
    // how much of the password was right.
    unsigned char want[SHA256_DIGEST_LENGTH], got[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(password_.data()), password_.size(), want);
    SHA256(reinterpret_cast<const unsigned char*>(offered.data()), offered.size(), got);
    return CRYPTO_memcmp(want, got, sizeof want) == 0 && offReason_.empty();
}

std::optional<ApiResponse> SessionController::LockedOut(const std::string& address,
                                                        const char* what) {
    const int64_t lockedMs = guard_.LockedForMs(AddressKey(address), clock_());
    if (lockedMs <= 0) return std::nullopt;
    const int64_t seconds = (lockedMs + 999) / 1000;
    audit_.Rejected(address, std::string(what) + " while locked out");
    ApiResponse response =
        api::Error(429, QStringLiteral("too many wrong passwords: try again in %1 s").arg(seconds));
    response.headers.emplace_back("Retry-After", std::to_string(seconds));
    return response;
}

void SessionController::RecordFailure(const std::string& address, const char* action) {
    const int64_t lockout = guard_.RecordFailure(AddressKey(address), clock_());
    std::string outcome = "wrong password";
    if (lockout > 0) outcome += ", locked out for " + std::to_string(lockout / 1000) + " s";
    audit_.Record({address, "", action, outcome, ""});
}

std::string SessionController::Cookie(const std::string& value, bool secure, bool expire) const {
    std::string cookie = cookieName_ + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (secure) cookie += "; Secure";
    if (expire) cookie += "; Max-Age=0";
    return cookie;
}

void SessionController::EndSessions(std::vector<WebSession> ended, const char* why) {
    if (ended.empty()) return;
    Publish();
    std::vector<std::string> ids;
    for (const WebSession& session : ended) {
        ids.push_back(session.id);
        audit_.Record({session.address, session.tag, "session", "ended", why});
    }
    if (onSessionsEnded) onSessionsEnded(std::move(ids));
}

const WebSession* SessionController::Use(const std::string& id) {
    if (id.empty()) return nullptr;
    CheckPassword();
    const std::size_t before = sessions_.Size();
    const WebSession* session = sessions_.Use(id, clock_());
    if (sessions_.Size() != before) Publish();  // it had expired
    return session;
}

ApiResponse SessionController::Login(const ApiCall& call, const QJsonObject& body) {
    const ApiRequest& request = call.request;
    if (auto refused = LockedOut(request.address, "a login")) {
        ++loginCounts_["locked_out"];
        return *refused;
    }
    const QJsonValue offered = body.value("password");
    if (!offered.isString()) return api::Error(400, "password must be a string");

    CheckPassword();
    if (!offReason_.empty())
        return api::Error(503, QStringLiteral("the web admin is off: %1").arg(offReason_.c_str()));
    // The engine keeps Latin-1 bytes; a password typed in the page arrives as UTF-8.
    const QString text = offered.toString();
    const QByteArray bytes = text.toLatin1();
    if (QString::fromLatin1(bytes) != text || !PasswordMatches(bytes.toStdString())) {
        ++loginCounts_["wrong_password"];
        RecordFailure(request.address, "login");
        return api::Error(401, "wrong password");
    }
    guard_.RecordSuccess(AddressKey(request.address));
    if (call.session) {  // a fresh id at every login
        std::vector<WebSession> replaced{*call.session};
        sessions_.End(call.session->id);
        EndSessions(std::move(replaced), "replaced by a new login");
    }
    std::vector<WebSession> evicted;
    const WebSession& session = sessions_.Create(request.address, clock_(), &evicted);
    const std::string id = session.id, tag = session.tag;
    Publish();
    EndSessions(std::move(evicted), "too many sessions: the oldest ends");
    ++loginCounts_["ok"];
    audit_.Record({request.address, tag, "login", "ok", ""});
    ApiResponse response =
        api::Json(200, QJsonObject{{"ok", true}, {"session", QString::fromStdString(tag)}});
    response.headers.emplace_back("Set-Cookie", Cookie(id, request.secure, false));
    return response;
}

ApiResponse SessionController::Logout(const ApiCall& call) {
    const WebSession ended = *call.session;
    sessions_.End(ended.id);
    Publish();
    audit_.Record({call.request.address, ended.tag, "logout", "ok", ""});
    if (onSessionsEnded) onSessionsEnded({ended.id});
    ApiResponse response = api::Ok();
    response.headers.emplace_back("Set-Cookie", Cookie("", call.request.secure, true));
    return response;
}

std::optional<ApiResponse> SessionController::CheckToken(const ApiRequest& request) {
    if (auto refused = LockedOut(request.address, "a /metrics token")) return refused;
    const auto refusal = [](int status, const char* message) {
        ApiResponse response = api::Error(status, message);
        response.headers.emplace_back("WWW-Authenticate", "Bearer");
        return response;
    };
    if (!request.bearer) return refusal(401, "log in first, or send Authorization: Bearer");
    CheckPassword();
    if (!offReason_.empty()) return api::Error(503, "the web admin is off");
    if (!PasswordMatches(*request.bearer)) {
        RecordFailure(request.address, "metrics token");
        return refusal(401, "wrong token");
    }
    guard_.RecordSuccess(AddressKey(request.address));
    return std::nullopt;
}

void SessionController::Housekeeping() {
    EndSessions(sessions_.EndExpired(clock_()), "expired");
    CheckPassword();
}
