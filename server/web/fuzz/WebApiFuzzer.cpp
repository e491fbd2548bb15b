// libFuzzer target: requests into the web admin's route table as the network thread hands them
// over (any method, path, query string, JSON body, session, token, address and upgrade), first
// to what the network thread answers itself and then to the user-interface thread, and messages
// of a live socket, on a running core over the recording fake engine. Every answer must be a
// status from 200 to 599 with a JSON body (or the metrics text, or the page), or 101 granting an
// upgrade that was asked for; and nothing may reach the engine's console but one line of at most
// 119 characters, whatever the request held.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "AdminApi.h"
#include "AuditLog.h"
#include "CommandRules.h"
#include "FakeEngine.h"
#include "ServerCore.h"

namespace {

constexpr const char* kPassword = "fuzz-Pass-9";
constexpr const char* kOwnAddress = "192.0.2.200";  // our own logins; never an input's address

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "web API fuzzer: %s\n", what);
        std::abort();
    }
}

// Called inside every engine call, under the engine lock.
void CheckCall(const std::string& call) {
    static const std::string kExecute = "ExecuteCommand ";
    if (call.rfind(kExecute, 0) != 0) return;
    const std::string command = call.substr(kExecute.size());
    Check(command.size() <= command_rules::kMaxLength, "a command over 119 characters");
    Check(command.find_first_of("\r\n") == std::string::npos, "a command with a line break");
}

struct Server {
    FakeEngine engine;
    std::unique_ptr<ServerCore> core;
    std::unique_ptr<AuditLog> audit;
    std::unique_ptr<AdminApi> api;
    std::string auditPath;
    int64_t nowMs = 1'000'000;
    std::string session;
    uint64_t runs = 0;
    std::size_t variables = 0;  // the fake engine's after the start-up

    void Start() {
        engine.configLines = {std::string("+remoteadminpassword \"") + kPassword + "\"",
                              "maxplayers 16", "nummaps 2", "map0 worlds/antarctica",
                              "map1 worlds/dunes"};
        FakeEngineModule::bound = &engine;
        core = std::make_unique<ServerCore>(
            EngineModule{&FakeEngineModule::Create, &FakeEngineModule::Release});
        // A typed "ban" writes the ban list: into a scratch file, not the current directory.
        core->UseBanFile(QString::fromStdString(
            std::filesystem::temp_directory_path() /
            ("web-api-fuzz-bans-" + std::to_string(::getpid()))));
        Check(core->Start() == EngineSession::StartupResult::Running, "the core did not start");
        {
            std::lock_guard guard(core->SessionForTests().EngineLock());
            for (const char* message : {"\x01"
                                        "12",
                                        "\x03"
                                        "12 Alice\n1070 1081 -1",
                                        "\x01"
                                        "13",
                                        "\x03"
                                        "13 Bob\n1071 1080 -1"})
                engine.sink->OnEngineMessage(message);
            engine.onCall = CheckCall;
            variables = engine.VariableCount();
        }
        core->StatusPass();
        auditPath = std::filesystem::temp_directory_path() /
                    ("web-api-fuzz-audit-" + std::to_string(::getpid()) + ".log");
        audit = std::make_unique<AuditLog>(auditPath);
        api = std::make_unique<AdminApi>(
            *core, *audit, [this] { return nowMs; },
            std::map<std::string, StaticFile>{
                {"/", {"text/html; charset=utf-8", "<!doctype html>"}}});
        api->SetListening(8080, "http://127.0.0.1:8080", "127.0.0.1");
        api->CheckPassword();
    }

    // A fresh session of our own whenever an input ended it (a logout, a changed password, an
    // eviction by other logins).
    void KeepSession() {
        {
            std::lock_guard guard(core->SessionForTests().EngineLock());
            // What an input's commands set is forgotten, so every input meets the same engine.
            engine.ForgetVariablesFrom(variables);
            engine.SetText("remoteadminpassword", kPassword);
            engine.ClearCalls();
        }
        core->StatusPass();  // the core reads the password back, as an input may have set another
        // The cheapest answer that needs a session: 426 with one, 401 without.
        ApiRequest probe{"GET",        "/api/live", "",    "",   session,
                         std::nullopt, kOwnAddress, false, false};
        if (!session.empty() && api->Handle(probe).status == 426) return;
        ApiRequest login{
            "POST", "/api/login", "",          std::string("{\"password\":\"") + kPassword + "\"}",
            "",     std::nullopt, kOwnAddress, false,
            false};
        const ApiResponse answer = api->Handle(login);
        Check(answer.status == 200, "our own login failed");
        for (const auto& [name, value] : answer.headers)
            if (name == "Set-Cookie") {
                const std::size_t start = value.find('=') + 1;
                session = value.substr(start, value.find(';') - start);
            }
    }
};

Server& TheServer() {
    static Server* server = [] {
        static int argc = 1;
        static char name[] = "web_api_fuzzer";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        auto* s = new Server;
        s->Start();
        return s;
    }();
    return *server;
}

void CheckJson(const std::string& body) {
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    Check(error.error == QJsonParseError::NoError, "an answer that is not JSON");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The label library lies in the install directory the build made; the corpus and any crash
    // file stay where the fuzzer was started.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(TARNWICK_FUZZ_INSTALL);
    TheServer();
    std::filesystem::current_path(started);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Server& server = TheServer();
    server.KeepSession();
    ++server.nowMs;
    if (++server.runs % 4096 == 0) std::filesystem::resize_file(server.auditPath, 0);

    FuzzedDataProvider input(data, size);
    static const char* const kMethods[] = {"GET", "POST", "PUT", "DELETE", "HEAD", "OPTIONS"};
    static const char* const kPaths[] = {
        "/api/login",   "/api/logout",   "/api/status",    "/api/players",
        "/api/console", "/api/rotation", "/api/health",    "/api/live",
        "/api/command", "/api/kick",     "/api/changemap", "/metrics",
        "/healthz",     "/api/",         "/api/status/",   "/"};
    static const char* const kAddresses[] = {"127.0.0.1", "::1", "10.1.2.3", "2001:db8::7",
                                             "::ffff:10.1.2.3"};
    ApiRequest request;
    request.method =
        input.ConsumeBool() ? input.PickValueInArray(kMethods) : input.ConsumeRandomLengthString(8);
    request.path =
        input.ConsumeBool() ? input.PickValueInArray(kPaths) : input.ConsumeRandomLengthString(64);
    request.query = input.ConsumeRandomLengthString(256);
    switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0:
            request.sessionId = server.session;
            break;
        case 1:
            request.sessionId = input.ConsumeRandomLengthString(80);
            break;
        default:
            break;
    }
    if (input.ConsumeBool()) request.bearer = input.ConsumeRandomLengthString(64);
    request.address = input.ConsumeBool() ? input.PickValueInArray(kAddresses)
                                          : input.ConsumeRandomLengthString(48);
    request.secure = input.ConsumeBool();
    request.upgrade = input.ConsumeBool();
    const bool live = input.ConsumeBool();
    request.body = input.ConsumeRemainingBytesAsString();

    if (live) {
        const LiveReply reply =
            server.api->HandleLive(request.sessionId, request.address, request.body);
        if (!reply.text.empty()) CheckJson(reply.text);
        return 0;
    }
    std::optional<ApiResponse> answer = server.api->AnswerAtOnce(request);
    const ApiResponse response = answer ? std::move(*answer) : server.api->Handle(request);
    if (response.live) {
        Check(response.status == 101 && request.upgrade, "an upgrade granted unasked");
        for (const std::string& message : response.live->greeting) CheckJson(message);
        return 0;
    }
    Check(response.status >= 200 && response.status <= 599, "a status out of range");
    if (response.contentType == "application/json") CheckJson(response.body);
    return 0;
}
