#include "SessionController.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>
#include <sodium.h>

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

// A name that is no account still costs a hash check, so the time does not tell which names are
// accounts.
bool VerifyAgainst(const std::string& hash, std::string password) {
    static const std::string stranger = AccountStore::HashPassword("no account has this");
    const bool ok =
        AccountStore::VerifyPassword(hash.empty() ? stranger : hash, password) && !hash.empty();
    sodium_memzero(password.data(), password.size());
    return ok;
}

QJsonObject SessionAnswer(const WebSession& session) {
    return {{"name", QString::fromStdString(session.account.empty() ? AccountStore::kOwnerName
                                                                    : session.account)},
            {"role", QLatin1String(Describe(session.role))}};
}

}  // namespace

SessionController::SessionController(ServerCore& core, WebAudit& audit, Clock clock,
                                     AccountStore& accounts)
    : core_(core),
      audit_(audit),
      clock_(std::move(clock)),
      offReason_(kNotRunningReason),
      accounts_(accounts) {
    // Each check holds tens of MiB for tens of milliseconds: two at a time is plenty.
    pool_.setMaxThreadCount(2);
}

SessionController::~SessionController() {
    pool_.waitForDone();
}

void SessionController::Register(RouteTable& routes) {
    using M = Route::Method;
    using A = Route::Access;
    Route login{"/api/login", M::Post, A::Anyone, Role::Viewer, {}};
    login.deferred = [this](const ApiCall& call, Route::Reply reply) {
        Login(call, std::move(reply));
    };
    routes.Add(std::move(login));
    routes.Add({"/api/logout", M::Post, A::Session, Role::Viewer,
                [this](const ApiCall& call) { return Logout(call); }});
    routes.Add({"/api/session", M::Get, A::Session, Role::Viewer,
                [](const ApiCall& call) { return api::Json(200, SessionAnswer(*call.session)); }});
}

const char* SessionController::BlankReason() {
    return kBlank.reason;
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
        if (off == &kBlank && onBlankPassword) onBlankPassword();
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

ApiResponse SessionController::Refuse(const std::string& address, const std::string& name) {
    ++loginCounts_["wrong_password"];
    const int64_t lockout = guard_.RecordFailure(AddressKey(address), clock_());
    std::string outcome = "wrong password";
    if (lockout > 0) outcome += ", locked out for " + std::to_string(lockout / 1000) + " s";
    audit_.Record({address, "", "login", outcome, name.empty() ? "" : "as " + name});
    return api::Error(401, "wrong name or password");
}

std::string SessionController::Cookie(const std::string& value, bool secure, bool expire) const {
    std::string cookie = cookieName_ + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (secure) cookie += "; Secure";
    if (expire) cookie += "; Max-Age=0";
    return cookie;
}

void SessionController::EndAccountSessions(const std::string& account, const char* why) {
    EndSessions(sessions_.EndAccount(account), why);
}

void SessionController::EndSessions(std::vector<WebSession> ended, const char* why) {
    if (ended.empty()) return;
    Publish();
    std::vector<std::string> ids;
    for (const WebSession& session : ended) {
        ids.push_back(session.id);
        audit_.Record(session, "session", "ended", why);
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

void SessionController::Login(const ApiCall& call, Route::Reply reply) {
    const ApiRequest& request = call.request;
    if (auto refused = LockedOut(request.address, "a login")) {
        ++loginCounts_["locked_out"];
        return reply(*refused);
    }
    ApiResponse bad;
    const std::optional<QJsonObject> body = api::ReadObject(request.body, bad);
    if (!body) return reply(bad);
    const QJsonValue offered = body->value("password"), named = body->value("name");
    if (!offered.isString()) return reply(api::Error(400, "password must be a string"));
    if (!named.isUndefined() && !named.isNull() && !named.isString())
        return reply(api::Error(400, "name must be a string"));

    CheckPassword();
    if (!offReason_.empty())
        return reply(
            api::Error(503, QStringLiteral("the web admin is off: %1").arg(offReason_.c_str())));
    const std::string former = call.session ? call.session->id : std::string();
    const QString name = named.toString();
    if (!name.isEmpty() && name != QLatin1String(AccountStore::kOwnerName)) {
        // The name is said in the audit only when it could be an account's.
        const bool wellFormed = AccountStore::CheckName(name).empty();
        const std::string shown = wellFormed ? name.toStdString() : "(a malformed name)";
        if (!wellFormed || !AccountStore::CheckPassword(offered.toString()).empty())
            return reply(Refuse(request.address, shown));
        const std::string key = AddressKey(request.address);
        if (pending_.contains(key) || pending_.size() >= kMaxPendingLogins) {
            ApiResponse busy = api::Error(429, "a login is being checked already: try again soon");
            busy.headers.emplace_back("Retry-After", "1");
            return reply(std::move(busy));
        }
        pending_.insert(key);
        const std::optional<Account> account = accounts_.Find(shown);
        const std::string hash = account ? account->hash : std::string();
        pool_.start([this, request, former, shown, hash, reply = std::move(reply),
                     password = offered.toString().toStdString()]() mutable {
            const bool ok = VerifyAgainst(hash, std::move(password));
            QMetaObject::invokeMethod(
                &context_,
                [this, request, former, shown, hash, ok, reply] {
                    FinishAccountLogin(request, former, shown, hash, ok, reply);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    // The engine keeps Latin-1 bytes; a password typed in the page arrives as UTF-8.
    const QString text = offered.toString();
    const QByteArray bytes = text.toLatin1();
    if (QString::fromLatin1(bytes) != text || !PasswordMatches(bytes.toStdString()))
        return reply(Refuse(request.address, name.toStdString()));
    reply(StartSession(request, former, {}, Role::Owner));
}

void SessionController::FinishAccountLogin(const ApiRequest& request,
                                           const std::string& formerSession,
                                           const std::string& name, const std::string& hash,
                                           bool ok, const Route::Reply& reply) {
    pending_.erase(AddressKey(request.address));
    // The account may have gone or changed its password while its hash was checked.
    const std::optional<Account> account = accounts_.Find(name);
    if (!ok || !account || account->hash != hash) return reply(Refuse(request.address, name));
    if (auto refused = LockedOut(request.address, "a login")) return reply(*refused);
    reply(StartSession(request, formerSession, name, account->role));
}

ApiResponse SessionController::StartSession(const ApiRequest& request,
                                            const std::string& formerSession,
                                            const std::string& account, Role role) {
    guard_.RecordSuccess(AddressKey(request.address));
    if (const WebSession* former = sessions_.Find(formerSession, clock_())) {
        std::vector<WebSession> replaced{*former};  // a fresh id at every login
        sessions_.End(formerSession);
        EndSessions(std::move(replaced), "replaced by a new login");
    }
    std::vector<WebSession> evicted;
    const WebSession session = sessions_.Create(request.address, clock_(), &evicted, account, role);
    Publish();
    EndSessions(std::move(evicted), "too many sessions: the oldest ends");
    ++loginCounts_["ok"];
    audit_.Record(session, "login", "ok");
    QJsonObject answer = SessionAnswer(session);
    answer.insert("ok", true);
    answer.insert("session", QString::fromStdString(session.tag));
    ApiResponse response = api::Json(200, answer);
    response.headers.emplace_back("Set-Cookie", Cookie(session.id, request.secure, false));
    return response;
}

ApiResponse SessionController::Logout(const ApiCall& call) {
    const WebSession ended = *call.session;
    sessions_.End(ended.id);
    Publish();
    audit_.Record(ended, "logout", "ok");
    if (onSessionsEnded) onSessionsEnded({ended.id});
    ApiResponse response = api::Ok();
    response.headers.emplace_back("Set-Cookie", Cookie("", call.request.secure, true));
    return response;
}

void SessionController::Housekeeping() {
    EndSessions(sessions_.EndExpired(clock_()), "expired");
    CheckPassword();
}
