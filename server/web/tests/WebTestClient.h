// Real HTTP and WebSocket clients for the web admin's tests (Boost.Beast, blocking, on threads of
// their own), so the tests see exactly what a browser or a script would.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct HttpCall {
    std::string method = "GET";
    std::string target = "/";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // Host is added unless given
    bool tls = false;
    std::string from = {};  // a loopback address to send from; empty: the system's choice
};

struct HttpReply {
    int status = 0;                                   // 0: no answer (refused, closed, timed out)
    std::multimap<std::string, std::string> headers;  // lowercase names
    std::string body;
    std::string Header(const std::string& lowercaseName) const;
};

HttpReply Http(uint16_t port, const HttpCall& call);
// A change as the page sends it: JSON from the server's own origin, with the session's cookie.
HttpCall JsonPost(uint16_t port, std::string target, std::string body,
                  const std::string& cookie = {});
// The cookie a browser sends back after this answer's Set-Cookie.
std::string CookieOf(const HttpReply& reply);
// Sends the bytes as they are and answers what came back before the server closed the connection
// or `timeoutMs` passed.
std::string RawExchange(uint16_t port, const std::string& bytes, int timeoutMs = 3000);

// Hostile connections without a session, held open on a thread of their own: each sends one
// `GET /healthz` and then idles (kept alive), or never sends a byte (silent); each that the
// server closes is opened again at once, from the next of `sources` (loopback addresses).
class ConnectionFlood {
public:
    ConnectionFlood(uint16_t port, std::vector<std::string> sources, int connections);
    ~ConnectionFlood();
    // Connections opened so far, the first ones included.
    int Opened() const { return opened_; }

private:
    void Run();

    uint16_t port_;
    std::vector<std::string> sources_;
    int connections_;
    std::atomic<int> opened_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A WebSocket to /api/live that keeps every message it hears.
class LiveClient {
public:
    LiveClient();
    ~LiveClient();
    // The upgrade's answer: 101 when it is live.
    int Connect(uint16_t port, const std::string& cookie, const std::string& origin,
                const std::string& target = "/api/live");
    void Send(const std::string& text);
    std::vector<std::string> Messages() const;
    std::size_t TotalBytes() const;
    bool Closed() const { return closed_; }
    int CloseCode() const { return closeCode_; }
    // Stops reading; the socket stays open but silent (a client that cannot keep up).
    void Stall();
    void Resume();

    struct Impl;

private:
    friend struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::atomic<bool> closed_{false};
    std::atomic<int> closeCode_{0};
    std::atomic<bool> stalled_{false};
};
