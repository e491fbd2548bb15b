// The web admin's transport: HTTP and WebSocket on one port, on a network thread of its own
// (Boost.Beast). It keeps the limits (sizes, times, the connection slots), the Host and
// same-origin checks and the security headers, and hands every request that passes them to one
// handler, whatever its path; the answer comes back through the reply it is given. An answer that
// grants an upgrade turns the connection into a live socket, whose messages go to a second
// handler. Which paths exist and what they need is the handler's business.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ApiMessages.h"

struct WebServerConfig {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: the system picks one (tests)
    std::string certFile, keyFile;
    std::vector<std::string> hostNames;
    std::string trustedProxy;
    std::string cookiePrefix;  // the cookie's name is this and the port
};

class WebServer {
public:
    static constexpr std::size_t kHeaderLimit = 8 * 1024;
    static constexpr std::size_t kMaxHeaderFields = 64;
    static constexpr std::size_t kBodyLimit = 64 * 1024;
    static constexpr std::size_t kMaxConnections = 64;
    static constexpr std::size_t kMaxWithoutSession = kMaxConnections / 2;
    static constexpr std::size_t kMaxPerAddress = 8;  // of those without a session
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
        std::function<void(std::string sessionId, std::string address, std::string text,
                           std::function<void(LiveReply)> reply)>
            message;
        // A request from another site (its Host or origin) was refused; for the audit.
        std::function<void(std::string address, std::string reason)> rejected;
        // Whether a session cookie's value names a live session: its connection keeps a slot.
        std::function<bool(const std::string& sessionId)> session;
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
    // Any thread: these sessions ended. Their live sockets close; their other connections no
    // longer count as ones with a session.
    void EndSessions(std::vector<std::string> sessionIds);

    struct Impl;  // the network thread's side, in WebServerImpl.h

private:
    WebServerConfig config_;
    Handlers handlers_;
    std::unique_ptr<Impl> impl_;
};
