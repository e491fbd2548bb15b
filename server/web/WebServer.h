// The web admin's HTTP and WebSocket server on its own network thread (Boost.Beast). It keeps the
// limits (sizes, times, connections), the Host and same-origin checks, the security headers and
// serves the built-in page; everything that needs the server's state goes to the handlers, which
// hand it to the user-interface thread and answer through the reply they are given.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ApiMessages.h"
#include "RequestRules.h"

struct StaticFile {
    std::string contentType;
    std::string body;
};

struct WebServerConfig {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: the system picks one (tests)
    std::string certFile, keyFile;
    std::vector<std::string> hostNames;
    std::string trustedProxy;
    std::string cookiePrefix;                 // the cookie's name is this and the port
    std::map<std::string, StaticFile> files;  // by path: "/", "/app.js", ...
};

class WebServer {
public:
    static constexpr std::size_t kHeaderLimit = 8 * 1024;
    static constexpr std::size_t kMaxHeaderFields = 64;
    static constexpr std::size_t kBodyLimit = 64 * 1024;
    static constexpr int kMaxConnections = 64;
    static constexpr int kHeaderSeconds = 10;
    static constexpr int kIdleSeconds = 15;
    static constexpr std::size_t kLiveMessageLimit = 4 * 1024;
    static constexpr std::size_t kLiveQueueMessages = 512;
    static constexpr std::size_t kLiveQueueBytes = 4 * 1024 * 1024;
    static constexpr uint16_t kSessionEndedCode = 4401;  // a WebSocket close: log in again

    // Every handler runs on the network thread and must not block. `reply` may be called once,
    // from any thread, while the server runs.
    struct Handlers {
        std::function<void(ApiRequest, std::function<void(ApiResponse)> reply)> request;
        std::function<void(ApiRequest, std::function<void(LiveAdmission)> reply)> admit;
        std::function<void(std::string sessionId, std::string address, std::string text,
                           std::function<void(LiveReply)> reply)>
            message;
        std::function<void(std::string address, std::string reason)> rejected;
    };

    WebServer(WebServerConfig config, Handlers handlers);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Sets up TLS, binds and starts the network thread; answers why it could not, or empty.
    std::string Start();
    // Closes every connection and joins the network thread; any number of times.
    void Stop();
    bool IsRunning() const;
    uint16_t Port() const;
    bool UsesTls() const { return !config_.certFile.empty(); }

    // Any thread: sends the messages to every live socket, in order.
    void Broadcast(std::vector<std::shared_ptr<const std::string>> messages);
    // Any thread: closes the live sockets of these sessions.
    void CloseSessions(std::vector<std::string> sessionIds);

    struct Impl;  // the network thread's side, in WebServer.cpp

private:
    WebServerConfig config_;
    Handlers handlers_;
    std::unique_ptr<Impl> impl_;
};
