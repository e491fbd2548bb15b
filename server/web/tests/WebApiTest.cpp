// The web admin against the real server on a free loopback port, through real HTTP and WebSocket
// clients: every path with and without a session, the login rules, the limits, and actions that
// reach the engine and come back to live clients.
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <sstream>

#include "MapsController.h"
#include "WebJson.h"
#include "WebServer.h"
#include "WebTestServer.h"

namespace {

QJsonDocument Parse(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text));
}

class WebAdminTest : public ::testing::Test {
protected:
    void SetUp() override { StartWeb(); }
    void TearDown() override {
        web.reset();
        for (const std::string& path : {auditPath, accountsPath, tokensPath})
            std::remove(path.c_str());
    }

    void StartWeb(WebAdminOptions options = {}) {
        options.enabled = true;
        options.accountsPath = accountsPath;
        options.tokensPath = tokensPath;
        audit = std::make_unique<AuditLog>(auditPath);
        web = std::make_unique<WebAdmin>(WebTestServer::Core(), options, *audit,
                                         [this] { return nowMs; });
        ASSERT_EQ(web->Start(), "");
        port = web->Port();
    }

    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port); }
    HttpReply Call(HttpCall call) {
        return Await([p = port, call] { return Http(p, call); });
    }
    // What came back for these bytes before the server closed the connection.
    std::string Raw(const std::string& bytes) {
        return Await([p = port, bytes] { return RawExchange(p, bytes); });
    }
    int HostStatus(const std::string& host) {
        return Call({"GET", "/healthz", {}, {{"Host", host}}}).status;
    }
    HttpReply Get(const std::string& target, const std::string& cookie = {}) {
        HttpCall call{"GET", target, {}, {}};
        if (!cookie.empty()) call.headers.emplace_back("Cookie", cookie);
        return Call(call);
    }
    // A change as the page sends it, but for the headers given in its place.
    HttpReply Post(const std::string& target, const std::string& body,
                   const std::string& cookie = {},
                   std::vector<std::pair<std::string, std::string>> headers = {},
                   const std::string& from = {}) {
        HttpCall call{"POST", target, body, std::move(headers)};
        call.from = from;
        bool typed = false, placed = false;
        for (const auto& [name, value] : call.headers) {
            typed = typed || name == "Content-Type";
            placed = placed || name == "Origin" || name == "Referer" || name == "Sec-Fetch-Site";
        }
        if (!typed) call.headers.emplace_back("Content-Type", "application/json");
        if (!placed) call.headers.emplace_back("Origin", Origin());
        if (!cookie.empty()) call.headers.emplace_back("Cookie", cookie);
        return Call(call);
    }
    HttpReply LoginWith(const std::string& password,
                        std::vector<std::pair<std::string, std::string>> headers = {},
                        const std::string& from = {}) {
        return Post("/api/login", "{\"password\":\"" + password + "\"}", {}, std::move(headers),
                    from);
    }
    std::string Login() {
        const HttpReply reply = LoginWith(kTestPassword);
        EXPECT_EQ(reply.status, 200) << reply.body;
        return CookieOf(reply);
    }
    // The upgrade's answer for a live socket.
    int Live(LiveClient& live, const std::string& cookie, const std::string& target = "/api/live",
             const std::string& origin = {}) {
        return Await(
            [&] { return live.Connect(port, cookie, origin.empty() ? Origin() : origin, target); });
    }
    // The audit lines that hold every one of the parts.
    int Audited(std::initializer_list<std::string> parts) const {
        std::ifstream file(auditPath);
        int count = 0;
        for (std::string line; std::getline(file, line);)
            count += std::ranges::all_of(parts, [&](auto& p) { return line.find(p) != line.npos; });
        return count;
    }
    // The data of a live client's events of one type, in order.
    static std::vector<QJsonObject> Events(const LiveClient& live, const char* type) {
        std::vector<QJsonObject> events;
        for (const std::string& message : live.Messages())
            if (const QJsonObject event = Parse(message).object(); event["type"] == type)
                events.push_back(event["data"].toObject());
        return events;
    }
    bool ConsoleSays(const std::string& text) const {
        for (const ConsoleEntry& entry : WebTestServer::Core().Console().After(0))
            if (entry.text.find(text) != std::string::npos) return true;
        return false;
    }
    // A player who joins now, by name; its client id.
    int32_t JoinPlayer(const std::string& name) {
        WebTestServer::Core().SubmitConsoleCommand("sim_join " + name, Requester::Terminal());
        int32_t id = -1;
        EXPECT_TRUE(WaitUntil([&] {
            for (const PlayerRecord& player : WebTestServer::Core().Players())
                if (name == player.name) id = player.clientId;
            return id >= 0;
        }));
        return id;
    }

    int64_t nowMs = 1'000'000'000;
    std::string auditPath = testing::TempDir() + "web_audit_" + std::to_string(getpid()) + ".log";
    std::string accountsPath = testing::TempDir() + "web_admins_" + std::to_string(getpid());
    std::string tokensPath = testing::TempDir() + "web_tokens_" + std::to_string(getpid());
    std::unique_ptr<AuditLog> audit;
    std::unique_ptr<WebAdmin> web;
    uint16_t port = 0;
};

// Every kind of path against each role and without a session: 404 off the table, 405 with Allow
// for a method the path does not take, 401 without a session, 403 beyond the role; every answer
// with the security headers, and the API's not stored; HEAD answers as GET without a byte of the
// body; the audit and the console name the account that acted.
TEST_F(WebAdminTest, TheRouteTableGivesEachRoleOnlyWhatItMayUse) {
    const std::string owner = Login();
    const char* roles[] = {"none", "owner", "admin", "moderator", "viewer"};
    std::map<std::string, std::string> cookies{{"owner", owner}};
    for (const std::string role : {"admin", "moderator", "viewer"}) {
        const std::string account = "\"name\":\"the_" + role + "\",\"password\":\"sesame-" + role;
        ASSERT_EQ(
            Post("/api/accounts", "{" + account + "\",\"role\":\"" + role + "\"}", owner).status,
            200);
        const HttpReply login = Post("/api/login", "{" + account + "\"}");
        ASSERT_EQ(Parse(login.body)["role"].toString().toStdString(), role) << login.body;
        cookies[role] = CookieOf(login);
    }
    const struct {
        const char *method, *target, *body;
        int status[5];  // as the roles above
        const char* allow = "";
    } routes[] = {
        {"GET", "/healthz", "", {200, 200, 200, 200, 200}},
        {"GET", "/", "", {200, 200, 200, 200, 200}},
        {"GET", "/api/status", "", {401, 200, 200, 200, 200}},
        {"GET", "/metrics", "", {401, 200, 200, 200, 200}},
        {"GET", "/api/live", "", {401, 426, 426, 426, 426}},
        {"GET", "/api/nothing", "", {404, 404, 404, 404, 404}},
        {"POST", "/api/nothing", "{}", {404, 404, 404, 404, 404}},
        {"GET", "/api/status/", "", {404, 404, 404, 404, 404}},
        {"POST", "/api/status", "{}", {405, 405, 405, 405, 405}, "GET, HEAD"},
        {"POST", "/app.js", "{}", {405, 405, 405, 405, 405}, "GET, HEAD"},
        {"GET", "/api/command", "", {405, 405, 405, 405, 405}, "POST"},
        {"POST", "/api/command", R"({"command":"say hello"})", {401, 200, 200, 200, 403}},
        {"POST", "/api/command", R"({"command":"say hi; say there"})", {401, 200, 200, 403, 403}},
        {"POST", "/api/command", R"({"command":"maxplayers 12"})", {401, 200, 200, 403, 403}},
        {"POST", "/api/kick", R"({"id":99999})", {401, 404, 404, 404, 403}},
        {"GET", "/api/tokens", "", {401, 200, 200, 403, 403}},
        {"GET", "/api/accounts", "", {401, 200, 403, 403, 403}},
        {"POST", "/api/accounts/remove", R"({"name":"nobody"})", {401, 404, 403, 403, 403}},
    };
    const std::pair<const char*, const char*> secure[] = {
        {"content-security-policy",
         "default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'; "
         "form-action 'self'"},
        {"x-content-type-options", "nosniff"},
        {"x-frame-options", "DENY"},
        {"referrer-policy", "no-referrer"},
        {"cross-origin-opener-policy", "same-origin"},
        {"access-control-allow-origin", ""},
    };
    for (const auto& route : routes)
        for (int column = 0; column < 5; ++column) {
            HttpCall call{route.method, route.target, route.body, {}};
            if (call.method != "GET")
                call.headers = {{"Content-Type", "application/json"}, {"Origin", Origin()}};
            if (cookies.contains(roles[column]))
                call.headers.emplace_back("Cookie", cookies[roles[column]]);
            const HttpReply reply = Call(call);
            const std::string what = call.method + " " + call.target + " " + call.body + " as " +
                                     roles[column] + ": " + reply.body;
            EXPECT_EQ(reply.status, route.status[column]) << what;
            EXPECT_EQ(reply.Header("allow"), route.allow) << what;
            for (const auto& [name, value] : secure) EXPECT_EQ(reply.Header(name), value) << what;
            if (reply.status == 200 && call.target != "/") {
                EXPECT_EQ(reply.Header("cache-control"), "no-store") << what;
            }
        }
    for (const char* target : {"/", "/api/rotation", "/nowhere"}) {
        const HttpReply get = Get(target, owner);
        const std::string head = Raw("HEAD " + std::string(target) +
                                     " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                     "\r\nCookie: " + owner + "\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(head.substr(9, 3), std::to_string(get.status)) << target;
        EXPECT_EQ(head.find("\r\n\r\n"), head.size() - 4) << target << ": a body followed";
        EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(get.body.size()) + "\r\n"),
                  std::string::npos)
            << target;
    }
    EXPECT_EQ(Parse(Get("/api/session", cookies["moderator"]).body)["name"], "the_moderator");
    EXPECT_EQ(Parse(Get("/api/session", owner).body)["role"], "owner");
    EXPECT_TRUE(Audited({"\"account\":\"the_moderator\"", "say hello"}));
    EXPECT_TRUE(ConsoleSays(") the_moderator command say hello: "));
}

// The fields each read answers, which outside clients rely on.
TEST_F(WebAdminTest, EveryReadAnswersItsFieldsWithASession) {
    const std::string cookie = Login();
    JoinPlayer("Listed");
    ASSERT_TRUE(WaitUntil([&] { return !Parse(Get("/api/health", cookie).body).array().isEmpty(); },
                          15000));
    const struct {
        const char* target;
        std::vector<const char*> keys;
    } reads[] = {
        {"/api/status",
         {"state", "world", "players", "maxPlayers", "updateRate", "sendRate", "receiveRate",
          "version", "uptimeSeconds"}},
        {"/api/players", {"id", "name", "team", "specialty", "ping", "connectedSeconds"}},
        {"/api/console?after=0", {"seq", "time", "text"}},
        {"/api/health", {"time", "players", "updateRate", "tickP99Ms", "overruns"}},
        {"/api/rotation", {"index", "world"}},
    };
    for (const auto& read : reads) {
        const QJsonDocument answer = Parse(Get(read.target, cookie).body);
        const QJsonObject last =
            answer.isArray() ? answer.array().last().toObject() : answer.object();
        for (const char* key : read.keys)
            EXPECT_TRUE(last.contains(key)) << read.target << " " << key;
    }
    const QJsonObject status = Parse(Get("/api/status", cookie).body).object();
    EXPECT_EQ(status["state"].toString(), "running");
    EXPECT_EQ(status["version"].toString(), "1.2.3");
    const QJsonArray rotation = Parse(Get("/api/rotation", cookie).body).array();
    ASSERT_EQ(rotation.size(), 3);
    EXPECT_EQ(rotation[1].toObject()["world"].toString(), "worlds/dunes.dat");
    EXPECT_EQ(rotation[1].toObject()["index"].toInt(), 1);

    const QJsonArray lines = Parse(Get("/api/console?after=0", cookie).body).array();
    const uint64_t last = static_cast<uint64_t>(lines.last().toObject()["seq"].toDouble());
    const QJsonArray after =
        Parse(Get("/api/console?after=" + std::to_string(last - 1), cookie).body).array();
    ASSERT_FALSE(after.isEmpty());
    for (const QJsonValue& line : after) EXPECT_GE(line.toObject()["seq"].toDouble(), last);
    EXPECT_EQ(Get("/api/console?after=x", cookie).status, 400);

    const std::string metrics = Get("/metrics", cookie).body;
    EXPECT_NE(metrics.find("\ntarnwick_update_rate_hertz "), std::string::npos);
    EXPECT_NE(metrics.find("tarnwick_web_logins_total{result=\"ok\"} 1"), std::string::npos);
}

TEST_F(WebAdminTest, ALoginSetsAFreshStrictHttpOnlyCookieNamedForThePort) {
    const HttpReply first = LoginWith(kTestPassword);
    const HttpReply second = LoginWith(kTestPassword);
    const std::string cookie = first.Header("set-cookie");
    EXPECT_EQ(cookie.rfind("tarnwick_session_" + std::to_string(port) + "=", 0), 0u) << cookie;
    for (const char* flag : {"; HttpOnly", "; SameSite=Strict", "; Path=/"})
        EXPECT_NE(cookie.find(flag), std::string::npos) << flag;
    EXPECT_EQ(cookie.find("Secure"), std::string::npos);  // plain HTTP
    EXPECT_NE(second.Header("set-cookie"), cookie);

    const std::string sent = cookie.substr(0, cookie.find(';'));
    nowMs += 29 * 60'000;
    EXPECT_EQ(Get("/api/status", sent).status, 200);
    nowMs += 29 * 60'000;
    EXPECT_EQ(Get("/api/status", sent).status, 200);  // each use starts the idle time again
    EXPECT_EQ(Get("/api/status", CookieOf(second)).status, 401);
    const HttpReply out = Post("/api/logout", "", sent);
    EXPECT_EQ(out.status, 200);
    EXPECT_NE(out.Header("set-cookie").find("Max-Age=0"), std::string::npos);
    EXPECT_EQ(Get("/api/status", sent).status, 401);
}

TEST_F(WebAdminTest, FiveWrongPasswordsLockTheAddressOutAndTheAuditSaysSo) {
    // Every loopback address is the same machine.
    for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.1", "127.0.0.2", "127.0.0.1"})
        EXPECT_EQ(LoginWith("wrong", {}, from).status, 401);
    const HttpReply locked = LoginWith(kTestPassword);  // refused before the password is looked at
    EXPECT_EQ(locked.status, 429);
    EXPECT_EQ(locked.Header("retry-after"), "60");
    nowMs += 30'000;
    EXPECT_EQ(LoginWith(kTestPassword).Header("retry-after"), "30");
    nowMs += 30'000;
    EXPECT_EQ(LoginWith(kTestPassword).status, 200);

    // X-Forwarded-For from an untrusted peer changes nothing.
    for (int i = 0; i < 5; ++i) LoginWith("wrong", {{"X-Forwarded-For", "198.51.100.7"}});
    EXPECT_EQ(LoginWith(kTestPassword, {{"X-Forwarded-For", "198.51.100.8"}}).status, 429);

    EXPECT_EQ(Audited({"\"action\":\"login\"", "\"address\":\"127.0.0.", "\"outcome\":\"wrong"}),
              10);
    EXPECT_TRUE(ConsoleSays("Web admin: 127.0.0.1 login: wrong password, locked out for 60 s"));
}

void SetPassword(const std::string& password) {
    WebTestServer::Core().ChangeSetting({Setting::RemoteAdminPassword, password},
                                        Requester::Window());
}

TEST_F(WebAdminTest, AChangedOrRemovedAccountLosesItsSessionsAndWrongNamesAreCounted) {
    const std::string owner = Login();
    const auto put = [&](const std::string& password) {
        return Post("/api/accounts",
                    R"({"name":"anna","role":"viewer","password":")" + password + "\"}", owner);
    };
    const auto login = [&](const char* name, const char* password) {
        return Post("/api/login",
                    std::string("{\"name\":\"") + name + "\",\"password\":\"" + password + "\"}");
    };
    EXPECT_EQ(put("short").status, 400);  // which accounts may be stored is AccountStore's test
    EXPECT_EQ(Parse(Get("/api/accounts", owner).body).array().size(), 0);
    ASSERT_EQ(put("first-pass").status, 200);
    std::string anna = CookieOf(login("anna", "first-pass"));
    ASSERT_EQ(put("second-pass").status, 200);
    EXPECT_EQ(Get("/api/status", anna).status, 401);
    EXPECT_EQ(login("anna", "first-pass").status, 401);
    anna = CookieOf(login("anna", "second-pass"));
    // One account login at a time from an address, while its hash is checked off this thread.
    const HttpCall again =
        JsonPost(port, "/api/login", R"({"name":"anna","password":"second-pass"})");
    const std::multiset<int> statuses = Await([p = port, again] {
        auto first = std::async(std::launch::async, [&] { return Http(p, again).status; });
        return std::multiset{Http(p, again).status, first.get()};
    });
    EXPECT_EQ(statuses, (std::multiset{200, 429}));
    EXPECT_EQ(Post("/api/accounts/remove", "{\"name\":\"anna\"}", owner).status, 200);
    EXPECT_EQ(Get("/api/status", anna).status, 401);
    EXPECT_EQ(Get("/api/status", owner).status, 200);  // the owner stays

    // Wrong passwords, unknown names and removed accounts all count toward the lockout.
    EXPECT_EQ(login("anna", "second-pass").status, 401);
    EXPECT_EQ(login("nobody", "whatever1").status, 401);
    EXPECT_EQ(login("bad name!", "whatever1").status, 401);
    EXPECT_EQ(login("owner", "wrong").status, 401);
    EXPECT_EQ(login("nobody", "whatever2").status, 401);
    EXPECT_EQ(LoginWith(kTestPassword).status, 429);
    EXPECT_TRUE(Audited({"\"action\":\"login\"", "\"detail\":\"as nobody\""}));
}

TEST_F(WebAdminTest, AMonitoringTokenReadsMetricsOnlyAndItsFailuresNeverLockLoginsOut) {
    const std::string owner = Login();
    const QJsonObject made =
        Parse(Post("/api/tokens", "{\"label\":\"prometheus\"}", owner).body).object();
    const std::string token = made["token"].toString().toStdString();
    ASSERT_GE(token.size(), 32u);
    const QJsonArray listed = Parse(Get("/api/tokens", owner).body).array();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_FALSE(listed[0].toObject().contains("token"));  // shown once
    std::stringstream stored;
    stored << std::ifstream(tokensPath).rdbuf();
    EXPECT_EQ(stored.str().find(token), std::string::npos);  // kept only hashed

    const auto bearer = [&](const std::string& token, const char* target = "/metrics") {
        return Call({"GET", target, {}, {{"Authorization", "Bearer " + token}}}).status;
    };
    EXPECT_EQ(bearer(token), 200);
    EXPECT_EQ(bearer(token, "/api/status"), 401);
    EXPECT_EQ(bearer(kTestPassword), 401);  // the password is no monitoring token
    EXPECT_EQ(LoginWith(token).status, 401);
    EXPECT_EQ(Post("/api/login", "{\"name\":\"prometheus\",\"password\":\"" + token + "\"}").status,
              401);

    for (int i = 0; i < 4; ++i) EXPECT_EQ(bearer("wrong"), 401);  // the fifth with the password
    EXPECT_EQ(bearer(token), 429);                                // tokens from here wait
    EXPECT_EQ(LoginWith(kTestPassword).status, 200);              // logins do not
    nowMs += 60'000;
    EXPECT_EQ(bearer(token), 200);

    // A restart keeps it; a removal ends it.
    web.reset();
    StartWeb();
    EXPECT_EQ(bearer(token), 200);
    const std::string remove = "{\"id\":\"" + made["id"].toString().toStdString() + "\"}";
    EXPECT_EQ(Post("/api/tokens/remove", remove, Login()).status, 200);
    EXPECT_EQ(bearer(token), 401);
    EXPECT_FALSE(Audited({token}));
}

// The first start without a password: the console alone shows a one-time address.
TEST_F(WebAdminTest, TheSetupAddressWorksOnceFromThisMachineWithinFifteenMinutes) {
    web.reset();
    SetPassword("");
    std::vector<std::string> told;
    const QMetaObject::Connection listening =
        QObject::connect(&WebTestServer::Core(), &ServerCore::operatorLine,
                         [&](const std::string& text) { told.push_back(text); });
    WebAdminOptions options;
    options.trustedProxy = "127.0.0.1";
    const auto setup = [&](const std::string& token, const char* password,
                           const char* from = "127.0.0.1") {
        return Post("/setup", "{\"token\":\"" + token + "\",\"password\":\"" + password + "\"}", {},
                    {{"X-Forwarded-For", from}});
    };
    const auto tokenTold = [&] {
        EXPECT_EQ(told.size(), 1u);
        const std::size_t at = told.empty() ? std::string::npos : told.back().find("#token=");
        return at == std::string::npos ? std::string() : told.back().substr(at + 7, 32);
    };

    StartWeb(options);
    std::string token = tokenTold();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_NE(told.back().find("http://127.0.0.1:" + std::to_string(port) + "/setup#token="),
              std::string::npos);
    EXPECT_FALSE(ConsoleSays(token));  // never in the history that web sessions read
    EXPECT_EQ(Get("/setup").status, 200);
    EXPECT_EQ(setup(token, "newowner1", "192.0.2.7").status, 403);  // from elsewhere
    EXPECT_EQ(setup(std::string(32, '0'), "newowner1").status, 403);
    EXPECT_EQ(setup(token, "newowner1").status, 200);
    EXPECT_EQ(LoginWith("newowner1").status, 200);
    EXPECT_EQ(setup(token, "another12").status, 403);  // used up
    EXPECT_FALSE(Audited({token}));
    EXPECT_TRUE(Audited({"\"action\":\"setup\"", "owner password set"}));

    // Another run, and the password blank again: a fresh address, gone after 15 minutes.
    web.reset();
    SetPassword("");
    told.clear();
    StartWeb(options);
    token = tokenTold();
    nowMs += SetupController::kLifeMs;
    EXPECT_EQ(setup(token, "newowner1").status, 403);
    QObject::disconnect(listening);
    SetPassword(kTestPassword);
}

TEST_F(WebAdminTest, AChangeMustBeJsonFromThePageItselfAndEveryRefusalFromElsewhereIsAudited) {
    const std::string cookie = Login();
    const std::string say = "{\"command\":\"say hello\"}";
    // Each header's own rules are RequestRules' test; here, that every change goes through them.
    EXPECT_EQ(Post("/api/kick", "{\"id\":1}", cookie, {{"Content-Type", "text/plain"}}).status,
              415);
    EXPECT_EQ(Post("/api/command", say, cookie, {{"Referer", Origin() + "/"}}).status, 200);
    EXPECT_EQ(Post("/api/command", say, cookie, {{"Sec-Fetch-Site", "same-origin"}}).status, 200);

    const std::string evil = "http://evil.example";
    const std::string host = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(Post("/api/command", say, cookie, {{"Origin", evil}, {"Content-Type", "text/plain"}})
                  .status,
              415);
    EXPECT_EQ(Post("/api/command", say, cookie, {{"Origin", evil}}).status, 403);
    EXPECT_EQ(HostStatus("evil.example:" + std::to_string(port)), 400);
    EXPECT_EQ(Raw("POST /api/login HTTP/1.1\r\nHost: " + host + "\r\nOrigin: " + evil +
                  "\r\nContent-Type: application/json\r\nContent-Length: 70000\r\n\r\n")
                  .substr(0, 12),
              "HTTP/1.1 413");
    LiveClient live;
    EXPECT_EQ(Live(live, cookie, "/api/live", evil), 403);
    for (const char* refusal :
         {"a POST to /api/command from another origin, refused with 415",
          "a POST to /api/command from another origin, refused with 403",
          "Host evil.example:", "a POST to /api/login from another origin, refused with 413",
          "a WebSocket from another origin, refused with 403"})
        EXPECT_TRUE(WaitUntil([&] {
            return Audited({"\"action\":\"rejected\"", refusal});
        })) << refusal;
    EXPECT_FALSE(Audited({"/api/kick"}));  // the page's own, though refused
}

// Bad requests with a session: each refused with its status and words (a settings refusal names
// its field, in the sheet's own words), and nothing reaches the engine or the core.
TEST_F(WebAdminTest, MalformedBodiesAndBadValuesAreRefusedAndReachNothing) {
    ServerCore& core = WebTestServer::Core();
    const std::string cookie = Login();
    const int commandsBefore = CountTraceLines("ExecuteCommand");
    const int dropsBefore = CountTraceLines("DropClient");
    const QString nameBefore = core.ShownSetting(Setting::ServerName);
    const std::size_t rotationBefore = core.Rotation().size();
    const std::size_t bansBefore = core.Bans().size();
    std::string tooMany = "{\"worlds\":[\"worlds/base\"";
    for (int i = 0; i < MapsController::kMaxRotation; ++i) tooMany += ",\"worlds/base\"";
    tooMany += "]}";
    const struct {
        const char* path;
        std::string body;
        int status = 400;
        const char* field = "";  // the field a settings refusal names
    } bad[] = {
        {"/api/command", R"({"command":)"},
        {"/api/command", R"(["status"])"},
        {"/api/command", R"({"command":7})"},
        {"/api/command", R"({"command":"status\nquit"})"},
        {"/api/command", R"({"command":"say \u0100"})"},
        {"/api/kick", R"({"id":"12"})"},
        {"/api/kick", R"({"id":1.5})"},
        {"/api/kick", "{}"},
        {"/api/changemap", R"({"index":3})"},
        {"/api/changemap", R"({"index":1e12})"},
        {"/api/login", R"({"password":5})"},
        {"/api/settings", "{}"},
        {"/api/settings", R"({"servername":"Web","nosuch":1})", 400, "nosuch"},
        {"/api/settings", R"({"servername":5})", 400, "servername"},
        {"/api/settings", R"({"maxplayers":[20]})", 400, "maxplayers"},
        {"/api/settings", R"({"servername":"Web","timelimit":1.5})", 400, "timelimit"},
        {"/api/settings", R"({"servername":"Web","serverpassword":"abc"})", 400, "serverpassword"},
        {"/api/rotation", "{}"},
        {"/api/rotation", R"({"worlds":[]})"},
        {"/api/rotation", R"({"worlds":["worlds/nowhere"]})"},
        {"/api/rotation", R"({"worlds":[7]})"},
        {"/api/rotation", tooMany},
        {"/api/bans", R"({"minutes":0})"},
        {"/api/bans", R"({"name":"x"})"},
        {"/api/bans", R"({"name":"x","minutes":-1})"},
        {"/api/bans", R"({"name":"","minutes":5})"},
        {"/api/bans", R"({"name":"x","minutes":5,"reason":"a\nb"})"},
        {"/api/bans", R"({"name":"x","minutes":5,"reason":7})"},
        {"/api/bans/remove", R"({"name":3})"},
        {"/api/bans/remove", R"({"name":"Nobody"})", 404},
    };
    for (const auto& request : bad) {
        const HttpReply reply = Post(request.path, request.body, cookie);
        const QJsonObject error = Parse(reply.body).object();
        const std::string what =
            request.path + (" " + request.body.substr(0, 80)) + ": " + reply.body;
        EXPECT_EQ(reply.status, request.status) << what;
        EXPECT_FALSE(error["error"].toString().isEmpty()) << what;
        EXPECT_EQ(error["field"].toString().toStdString(), request.field) << what;
    }
    EXPECT_EQ(Parse(Post("/api/settings", R"({"maxplayers":25})", cookie).body)["error"].toString(),
              RefusalMessage(FieldOf(Setting::MaxPlayers), FieldProblem::OutOfRange));
    EXPECT_EQ(CountTraceLines("ExecuteCommand"), commandsBefore);
    EXPECT_EQ(CountTraceLines("DropClient"), dropsBefore);
    EXPECT_EQ(core.ShownSetting(Setting::ServerName), nameBefore);
    EXPECT_EQ(core.Rotation().size(), rotationBefore);
    EXPECT_EQ(core.Bans().size(), bansBefore);

    // A world whose file went after the rotation was made: the engine refuses, a conflict.
    core.SubmitConsoleCommand("map2 worlds/gone.dat", Requester::Terminal());
    EXPECT_EQ(Post("/api/changemap", "{\"index\":2}", cookie).status, 409);
    // The world the page showed is no longer at that position: refused, nothing sent.
    EXPECT_EQ(
        Post("/api/changemap", "{\"index\":2,\"world\":\"worlds/harbour.dat\"}", cookie).status,
        409);
    core.SubmitConsoleCommand("map2 worlds/harbour.dat", Requester::Terminal());
}

TEST_F(WebAdminTest, SizesHeadersHostsAndEncodingsAreHeldToTheirLimits) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string post = "POST /api/login HTTP/1.1\r\n" + host +
                             "Content-Type: application/json\r\nOrigin: " + Origin() + "\r\n";
    const std::string get = "GET / HTTP/1.1\r\n" + host;
    std::string fields;
    for (int i = 0; i < 64; ++i) fields += "X-F" + std::to_string(i) + ": 1\r\n";
    const struct {
        std::string bytes;
        const char* status;
    } cases[] = {
        // Refused from its Content-Length, before a byte of the body is read.
        {post + "Content-Length: 65537\r\n\r\n", "413"},
        {post + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", "411"},
        {get + "X-Big: " + std::string(8300, 'a') + "\r\n\r\n", "431"},
        {get + fields + "\r\n", "431"},
        {get + "Connection: close\r\n\r\n", "200"},
        {"GARBAGE\r\n\r\n", "400"},
    };
    for (const auto& request : cases)
        EXPECT_EQ(Raw(request.bytes).substr(0, 12), std::string("HTTP/1.1 ") + request.status)
            << request.bytes.substr(0, 60);
    EXPECT_EQ(Post("/api/login", std::string(64 * 1024, ' ')).status, 400);  // read, found wanting
    // Which names pass is RequestRules' test; here, that the server's own port is asked for.
    EXPECT_EQ(HostStatus("127.0.0.1:" + std::to_string(port + 1)), 400);
}

// A trusted proxy names the client for the lockout; a given host name is served and others are
// not; serving the network without TLS is warned of.
TEST_F(WebAdminTest, ATrustedProxyAndAGivenHostNameReachTheServer) {
    web.reset();
    WebAdminOptions options;
    options.address = "0.0.0.0";
    options.hostNames = {"admin.example.org"};
    options.trustedProxy = "127.0.0.1";
    StartWeb(options);
    EXPECT_TRUE(ConsoleSays("Web admin: WARNING: 0.0.0.0 is served without TLS"));
    const std::string p = ":" + std::to_string(port);
    EXPECT_EQ(HostStatus("Admin.Example.org" + p), 200);
    EXPECT_EQ(HostStatus("example.org" + p), 400);
    for (int i = 0; i < 5; ++i)
        LoginWith("wrong", {{"X-Forwarded-For", "203.0.113.9, 198.51.100.7"}});
    EXPECT_EQ(LoginWith(kTestPassword, {{"X-Forwarded-For", "198.51.100.7"}}).status, 429);
    EXPECT_EQ(LoginWith(kTestPassword, {{"X-Forwarded-For", "198.51.100.8"}}).status, 200);
}

// A kick reaches the engine and the leave a live client; the socket's own actions answer there;
// it closes with the session, or on a message beyond its bound.
TEST_F(WebAdminTest, ALiveSocketNeedsItsOwnOriginAndASessionAndClosesWithIt) {
    const std::string cookie = Login();
    LiveClient foreign, anonymous, live;
    EXPECT_EQ(Live(foreign, cookie, "/api/live", "http://evil.example"), 403);
    EXPECT_EQ(Live(anonymous, ""), 401);
    ASSERT_EQ(Live(live, cookie), 101);
    ASSERT_TRUE(WaitUntil([&] { return live.Messages().size() >= 5; }));  // the greeting
    EXPECT_NE(live.Messages()[0].find("\"type\":\"hello\""), std::string::npos);

    const int32_t victim = JoinPlayer("Kickme");
    EXPECT_EQ(Post("/api/kick", "{\"id\":" + std::to_string(victim) + "}", cookie).status, 200);
    EXPECT_EQ(CountTraceLines("DropClient\t" + std::to_string(victim)), 1);
    EXPECT_TRUE(WaitUntil([&] {
        return std::ranges::any_of(Events(live, "left"),
                                   [&](const QJsonObject& left) { return left["id"] == victim; });
    }));
    EXPECT_TRUE(Audited({"\"action\":\"kick\"", "Kickme"}));
    EXPECT_TRUE(ConsoleSays("kick " + std::to_string(victim) + " (Kickme): done"));

    live.Send("{\"ref\":1,\"action\":\"command\",\"command\":\"status\"}");
    live.Send("{\"ref\":2,\"action\":\"kick\",\"id\":\"x\"}");
    live.Send("{\"ref\":3,\"action\":\"dance\"}");
    ASSERT_TRUE(WaitUntil([&] { return Events(live, "reply").size() == 3; }));
    std::vector<int> statuses;
    for (const QJsonObject& reply : Events(live, "reply"))
        statuses.push_back(reply["status"].toInt());
    EXPECT_EQ(statuses, (std::vector<int>{200, 400, 400}));

    EXPECT_EQ(Post("/api/logout", "{}", cookie).status, 200);
    ASSERT_TRUE(WaitUntil([&] { return live.Closed(); }));
    EXPECT_EQ(live.CloseCode(), WebServer::kSessionEndedCode);

    LiveClient big;
    ASSERT_EQ(Live(big, Login()), 101);
    big.Send("{\"action\":\"command\",\"command\":\"" + std::string(5000, 'x') + "\"}");
    EXPECT_TRUE(WaitUntil([&] { return big.Closed(); }));
}

TEST_F(WebAdminTest, AClientThatCannotKeepUpIsDroppedAndTheOthersGoOn) {
    const std::string cookie = Login();
    LiveClient slow, quick;
    ASSERT_EQ(Live(slow, cookie), 101);
    ASSERT_EQ(Live(quick, cookie), 101);
    slow.Stall();
    // Paced so that a client that reads keeps up; the stalled one's backlog outgrows its bound.
    const std::string filler(8000, 'z');
    for (int batch = 1; batch <= 150; ++batch) {
        for (int i = 0; i < 20; ++i) WebTestServer::Core().Announce(filler);
        ASSERT_TRUE(WaitUntil([&] { return quick.TotalBytes() >= 8000u * 20 * batch; }, 10000));
    }
    EXPECT_FALSE(quick.Closed());
    EXPECT_EQ(Get("/api/status", cookie).status, 200);
    slow.Resume();  // it finds its connection closed behind what the system had buffered
    EXPECT_TRUE(WaitUntil([&] { return slow.Closed(); }, 10000));
    EXPECT_LT(slow.TotalBytes(), quick.TotalBytes() / 2);

    // A late client catches up on as much of that backlog as fits its greeting.
    LiveClient late;
    ASSERT_EQ(Live(late, cookie), 101);
    EXPECT_TRUE(WaitUntil([&] { return late.Messages().size() >= 5; }));
}

TEST_F(WebAdminTest, APasswordChangedInTheSettingsCountsAtOnceAndEndsEverySession) {
    const std::string cookie = Login();
    LiveClient live;
    ASSERT_EQ(Live(live, cookie), 101);
    SetPassword("another9");
    EXPECT_EQ(Get("/api/status", cookie).status, 401);
    EXPECT_TRUE(WaitUntil([&] { return live.Closed(); }));
    EXPECT_EQ(LoginWith(kTestPassword).status, 401);
    EXPECT_EQ(LoginWith("another9").status, 200);

    SetPassword("");
    const HttpReply off = LoginWith("");
    EXPECT_EQ(off.status, 503);
    EXPECT_NE(off.body.find("blank"), std::string::npos);
    EXPECT_FALSE(web->OffReason().empty());
    EXPECT_TRUE(ConsoleSays("Web admin: off until the remote admin password is set"));
    SetPassword(kTestPassword);
    EXPECT_EQ(LoginWith(kTestPassword).status, 200);
    EXPECT_TRUE(web->OffReason().empty());
}

// 64 hostile connections without a session, kept alive or silent and opened again as soon as the
// server closes them, from one loopback address and from many: the operator still logs in and
// reads the status, every time.
TEST_F(WebAdminTest, AFloodOfConnectionsWithoutASessionNeverKeepsAnOperatorOut) {
    std::vector<std::string> many;
    for (int i = 1; i <= 64; ++i) many.push_back("127.0.0." + std::to_string(i));
    for (const std::vector<std::string>& sources : {std::vector<std::string>{"127.0.0.1"}, many}) {
        ConnectionFlood flood(port, sources, 64);
        ASSERT_TRUE(WaitUntil([&] { return flood.Opened() > 2 * 64; }));  // it holds, and churns
        const std::string cookie = Login();
        for (int i = 0; i < 20; ++i) EXPECT_EQ(Get("/api/status", cookie).status, 200) << i;
    }
}

// Where a line goes after a rotation is AuditLog's test; here, the wiring of SIGHUP and of a
// line that cannot be written.
TEST_F(WebAdminTest, TheAuditLogFollowsItsPathAndSighupAndCountsWhatItCannotWrite) {
    Login();
    // SIGHUP lets go of the file at once, before any line is written.
    const auto holds = [](const std::string& path) {
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ignored;
            if (std::filesystem::read_symlink(fd.path(), ignored) == path) return true;
        }
        return false;
    };
    ASSERT_EQ(std::rename(auditPath.c_str(), (auditPath + ".1").c_str()), 0);
    ASSERT_TRUE(holds(auditPath + ".1"));
    ::raise(SIGHUP);
    EXPECT_TRUE(WaitUntil([&] { return !holds(auditPath + ".1"); }));

    ASSERT_EQ(mkdir(auditPath.c_str(), 0700), 0);  // nothing can be written at the path
    const std::string cookie = Login();
    EXPECT_TRUE(ConsoleSays("Web admin: cannot write the audit log: " + auditPath));
    EXPECT_NE(Get("/metrics", cookie).body.find("\ntarnwick_audit_write_failures_total 1\n"),
              std::string::npos);
    ASSERT_TRUE(
        WaitUntil([&] { return !Parse(Get("/api/health", cookie).body).array().isEmpty(); }));
    EXPECT_EQ(Parse(Get("/api/health", cookie).body).array().last()["auditWriteFailures"], 1);
    rmdir(auditPath.c_str());
    std::remove((auditPath + ".1").c_str());
}

// A page left open across a restart asks with the old run's id: it gets the new run's lines from
// the first, whatever sequence number it had reached.
TEST_F(WebAdminTest, ALiveSocketOfAnotherRunCatchesUpFromTheRunsFirstLine) {
    const std::string cookie = Login();
    const uint64_t last = WebTestServer::Core().Console().LastSeq();
    const std::string run = WebTestServer::Core().RunId();
    ASSERT_EQ(run.size(), 16u);
    const auto greeting = [&](const std::string& query) {
        LiveClient live;
        EXPECT_EQ(Live(live, cookie, "/api/live?" + query), 101);
        EXPECT_TRUE(WaitUntil([&] { return live.Messages().size() >= 5; }));
        EXPECT_EQ(Events(live, "hello").at(0)["runId"].toString().toStdString(), run);
        for (const std::string& message : live.Messages())
            if (const QJsonObject event = Parse(message).object(); event["type"] == "console")
                return event["data"].toArray();
        return QJsonArray();
    };
    const std::string after = "after=" + std::to_string(last);
    for (const QJsonValue& line : greeting(after + "&run=" + run))
        EXPECT_GT(line["seq"].toDouble(), last);
    EXPECT_LE(greeting(after + "&run=0123456789abcdef").first()["seq"].toDouble(), last);
}

// Settings, the rotation, a save and a ban made over the web reach the core, read back the same
// way, and reach a live client; a password's value never leaves the server.
TEST_F(WebAdminTest, SettingsRotationSaveAndBansMadeOnTheWebReachTheCoreAndLiveClients) {
    ServerCore& core = WebTestServer::Core();
    const std::string cookie = Login();
    LiveClient live;
    ASSERT_EQ(Live(live, cookie), 101);
    const QString nameBefore = core.ShownSetting(Setting::ServerName);
    const QString playersBefore = core.ShownSetting(Setting::MaxPlayers);
    std::vector<std::string> rotationBefore;
    for (const RotationEntry& entry : core.Rotation()) rotationBefore.push_back(entry.world);

    ASSERT_EQ(
        Post("/api/settings",
             R"({"servername":"Web Named","maxplayers":12,"serverpassword":"secret77"})", cookie)
            .status,
        200);
    EXPECT_EQ(core.ShownSetting(Setting::ServerName), "Web Named");
    EXPECT_EQ(core.ShownSetting(Setting::MaxPlayers), "12");
    const HttpReply settings = Get("/api/settings", cookie);
    EXPECT_EQ(settings.body.find("secret77"), std::string::npos);
    ASSERT_EQ(Post("/api/command", R"({"command":"+serverpassword \"hunter22\""})", cookie).status,
              200);
    EXPECT_TRUE(Audited({"\"action\":\"command\"", "+serverpassword \\\"********\\\""}));
    EXPECT_FALSE(Audited({"secret77"}) || Audited({"hunter22"}));
    const QJsonArray groups = Parse(settings.body).array();
    ASSERT_EQ(groups.size(), 4);
    for (const QJsonValue& field : groups[0].toObject()["fields"].toArray())
        if (field["name"] == "serverpassword") {
            EXPECT_EQ(field["set"], true);
            EXPECT_FALSE(field.toObject().contains("value"));
        }
    EXPECT_EQ(groups[1].toObject()["fields"].toArray().first()["value"], 12);

    const QJsonArray worlds = Parse(Get("/api/worlds", cookie).body).array();
    ASSERT_GE(worlds.size(), 2);
    const std::string rotation = "{\"worlds\":[\"" + worlds[1].toString().toStdString() + "\",\"" +
                                 worlds[0].toString().toStdString() + "\"]}";
    ASSERT_EQ(Post("/api/rotation", rotation, cookie).status, 200);
    const std::vector<RotationEntry> now = core.Rotation();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(web_json::Text(now[0].world), worlds[1].toString());

    EXPECT_EQ(Post("/api/save", "{}", cookie).status, 200);
    ASSERT_EQ(Post("/api/bans", R"({"name":"Griefer","minutes":0,"reason":"spam"})", cookie).status,
              200);
    const QJsonArray bans = Parse(Get("/api/bans", cookie).body).array();
    ASSERT_EQ(bans.size(), 1);
    EXPECT_EQ(bans.first()["until"], 0);
    EXPECT_EQ(bans.first()["reason"], "spam");
    EXPECT_EQ(Post("/api/bans/remove", R"({"name":"griefer"})", cookie).status, 200);
    EXPECT_TRUE(core.Bans().empty());
    EXPECT_TRUE(WaitUntil([&] {
        return !Events(live, "setting").empty() && Events(live, "rotation").size() >= 2 &&
               !Events(live, "saved").empty() && Events(live, "bans").size() == 2;
    }));
    EXPECT_TRUE(Audited({"\"action\":\"settings\"", "serverpassword=********"}));

    const std::string restore = "{\"servername\":\"" + nameBefore.toStdString() +
                                "\",\"maxplayers\":\"" + playersBefore.toStdString() +
                                "\",\"serverpassword\":\"\"}";
    EXPECT_EQ(Post("/api/settings", restore, cookie).status, 200);
    EXPECT_EQ(core.SetRotation(rotationBefore, Requester::Terminal()), ActionResult::Done);
}

TEST_F(WebAdminTest, TlsServesSecureCookiesAndNeverFallsBackToPlainHttp) {
    const std::string dir = testing::TempDir() + "web_tls_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + dir +
                           " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -days 2 -subj /CN=localhost -keyout " +
                           dir + "/key.pem -out " + dir + "/cert.pem 2>/dev/null")
                              .c_str()),
              0);
    chmod((dir + "/key.pem").c_str(), 0600);
    WebAdminOptions tls;
    tls.certFile = dir + "/cert.pem";
    tls.keyFile = dir + "/key.pem";
    web.reset();
    StartWeb(tls);
    HttpCall login =
        JsonPost(port, "/api/login", std::string("{\"password\":\"") + kTestPassword + "\"}");
    login.headers[1].second = "https://127.0.0.1:" + std::to_string(port);  // the Origin
    login.tls = true;
    const HttpReply reply = Call(login);
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.Header("set-cookie").find("; Secure"), std::string::npos);
    EXPECT_EQ(Get("/healthz").status, 0);  // plain HTTP gets no answer

    web.reset();
    std::ofstream(dir + "/cert.pem") << "not a certificate\n";
    web = std::make_unique<WebAdmin>(WebTestServer::Core(), tls, *audit);
    EXPECT_NE(web->Start().find("cannot start TLS"), std::string::npos);
    EXPECT_FALSE(web->IsRunning());
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WebTestServer);
    return RUN_ALL_TESTS();
}
