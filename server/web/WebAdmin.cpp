#include "WebAdmin.h"

#include <QFile>
#include <chrono>

#include "HangupSignal.h"
#include "RequestRules.h"
#include "UiThreadQueue.h"
#include "WebServer.h"

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The page, built into the program; `found` false when a file is missing.
std::map<std::string, StaticFile> PageFiles(bool& found) {
    static const struct {
        const char* path;
        const char* resource;
        const char* type;
    } kFiles[] = {
        {"/", ":/web/index.html", "text/html; charset=utf-8"},
        {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
        {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
        {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
        {"/accounts.js", ":/web/accounts.js", "text/javascript; charset=utf-8"},
        {"/setup", ":/web/setup.html", "text/html; charset=utf-8"},
        {"/setup.js", ":/web/setup.js", "text/javascript; charset=utf-8"},
    };
    std::map<std::string, StaticFile> files;
    found = true;
    for (const auto& file : kFiles) {
        QFile resource(QString::fromLatin1(file.resource));
        found = found && resource.open(QIODevice::ReadOnly);
        files[file.path] = {file.type, resource.readAll().toStdString()};
    }
    return files;
}

}  // namespace

WebAdmin::WebAdmin(ServerCore& core, WebAdminOptions options, AuditLog& audit, Clock clock,
                   QObject* parent)
    : QObject(parent),
      core_(core),
      options_(std::move(options)),
      audit_(audit),
      api_(core, audit, clock ? clock : Clock(SteadyMs), PageFiles(pageFound_),
           {options_.accountsPath, options_.tokensPath}),
      feed_(
          core,
          [this](std::vector<std::shared_ptr<const std::string>> messages) {
              if (server_) server_->Broadcast(std::move(messages));
          },
          clock ? clock : Clock(SteadyMs), this),
      bridge_(nullptr) {
    api_.OnSessionsEnded([this](std::vector<std::string> ids) {
        if (server_) server_->EndSessions(std::move(ids));
    });
    housekeeping_.setInterval(1000);
    connect(&housekeeping_, &QTimer::timeout, this, [this] { api_.Housekeeping(); });
}

WebAdmin::~WebAdmin() {
    Stop();
}

std::string WebAdmin::Start() {
    if (server_) return "the web admin already runs";
    if (!pageFound_) return "the web admin's page is missing from the program";

    bridge_ = new UiThreadQueue(this);
    WebServer::Handlers handlers;
    // Each runs on the network thread: it answers what needs only the route table, and queues
    // the rest to this thread. The bridge goes before the network thread's objects do, and the
    // calls still queued to it with it.
    UiThreadQueue* bridge = bridge_;
    AdminApi* api = &api_;
    // An answer worked out off this thread may come after Stop(): it is dropped then.
    running_ = std::make_shared<bool>(true);
    handlers.request = [bridge, api, running = running_](ApiRequest request,
                                                         std::function<void(ApiResponse)> reply) {
        if (std::optional<ApiResponse> answer = api->AnswerAtOnce(request))
            return reply(std::move(*answer));
        bridge->Push([api, running, request = std::move(request), reply = std::move(reply)] {
            api->Handle(request, [running, reply](ApiResponse response) {
                if (*running) reply(std::move(response));
            });
        });
    };
    handlers.message = [bridge, api](std::string sessionId, std::string address, std::string text,
                                     std::function<void(LiveReply)> reply) {
        bridge->Push([api, sessionId = std::move(sessionId), address = std::move(address),
                      text = std::move(text), reply = std::move(reply)] {
            reply(api->HandleLive(sessionId, address, text));
        });
    };
    handlers.session = [api](const std::string& id) { return api->IsSession(id); };
    handlers.rejected = [bridge, api](std::string address, std::string reason) {
        bridge->Push([api, address = std::move(address), reason = std::move(reason)] {
            api->NoteRejected(address, reason);
        });
    };

    WebServerConfig config;
    config.address = options_.address;
    config.port = options_.port;
    config.certFile = options_.certFile;
    config.keyFile = options_.keyFile;
    config.hostNames = options_.hostNames;
    config.trustedProxy = options_.trustedProxy;
    config.cookiePrefix = AdminApi::kCookiePrefix;
    auto server = std::make_unique<WebServer>(std::move(config), std::move(handlers));
    if (std::string why = server->Start(); !why.empty()) {
        delete std::exchange(bridge_, nullptr);
        core_.Announce("Web admin: cannot start: " + why);
        return why;
    }
    server_ = std::move(server);
    api_.SetListening(server_->Port(), Url(), options_.address);
    api_.LoadFiles();
    housekeeping_.start();
    hangup_ = std::make_unique<HangupSignal>();
    connect(hangup_.get(), &HangupSignal::Received, this, [this] { audit_.Reopen(); });
    core_.Announce("Web admin: serving " + Url());
    if (!IsLoopback(options_.address) && !server_->UsesTls())
        core_.Announce("Web admin: WARNING: " + options_.address +
                       " is served without TLS, so the password and the session cross the "
                       "network readable; give --web-cert and --web-key");
    api_.CheckPassword();
    return {};
}

void WebAdmin::Stop() {
    housekeeping_.stop();
    hangup_.reset();
    if (running_) *std::exchange(running_, nullptr) = false;
    if (!server_) return;
    server_->Stop();
    server_.reset();
    delete std::exchange(bridge_, nullptr);
}

bool WebAdmin::IsRunning() const {
    return server_ && server_->IsRunning();
}

uint16_t WebAdmin::Port() const {
    return server_ ? server_->Port() : 0;
}

std::string WebAdmin::Url() const {
    const bool v6 = options_.address.find(':') != std::string::npos;
    std::string host = options_.address == "0.0.0.0" || options_.address == "::"
                           ? "localhost"
                           : (v6 ? "[" + options_.address + "]" : options_.address);
    return std::string(options_.UsesTls() ? "https://" : "http://") + host + ":" +
           std::to_string(Port()) + "/";
}
