// The network thread's side of WebServer, shared by the transport's files: the server (accepting
// and the tables of connections), an HTTP connection and a live socket. Network thread only.
#pragma once

#include <atomic>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "ConnectionSlots.h"
#include "RequestRules.h"
#include "WebServer.h"

namespace web_transport {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using PlainStream = tcp::socket;
using TlsStream = asio::ssl::stream<tcp::socket>;
using Request = http::request<http::string_body>;

// Every answer carries these, errors and refusals included.
template <class Fields>
void AddSecurityHeaders(Fields& fields) {
    fields.set("Content-Security-Policy",
               "default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'; "
               "form-action 'self'");
    fields.set("X-Content-Type-Options", "nosniff");
    fields.set("X-Frame-Options", "DENY");
    fields.set("Referrer-Policy", "no-referrer");
    fields.set("Cross-Origin-Opener-Policy", "same-origin");
}

// {"error": message}, without Qt: the network thread's own refusals.
std::string JsonError(std::string_view message);

template <class Stream>
auto& Lowest(Stream& stream) {
    return beast::get_lowest_layer(stream);
}

// A connection the server can close (at shutdown, or to make room) and tell of its session's end.
struct Connection {
    virtual ~Connection() = default;
    virtual void Close() = 0;
    virtual const std::string& SessionId() const = 0;
    virtual void SessionEnded() = 0;
};

// A live socket: the fan-out reaches it.
struct LiveConnection : Connection {
    virtual void Send(std::shared_ptr<const std::string> message) = 0;
};

// Serves one accepted connection: TLS when the server has it, then HTTP requests.
void ServeConnection(WebServer::Impl& server, tcp::socket socket, std::string peer, uint64_t id);

// Turns an HTTP connection whose upgrade was granted into a live socket under the same id.
template <class Stream>
void OpenLiveSocket(WebServer::Impl& server, Stream&& stream, uint64_t id, LiveGrant grant,
                    std::string address, Request request);

}  // namespace web_transport

struct WebServer::Impl {
    Impl(const WebServerConfig& config, const Handlers& handlers)
        : config(config),
          handlers(handlers),
          ioc(std::make_unique<web_transport::asio::io_context>(1)) {}
    ~Impl();

    std::string SetUpTls();
    void Accept();
    void OnAccept(web_transport::beast::error_code error, web_transport::tcp::socket socket);
    bool HostAllowed(std::string_view host);
    void Forget(uint64_t id) {
        open.erase(id);
        live.erase(id);
        slotTable.Remove(id);
    }
    // While the user-interface thread answers, no operation of the connection's own keeps it.
    void Hold(uint64_t id, std::shared_ptr<web_transport::Connection> connection) {
        held[id] = std::move(connection);
    }
    // The caller keeps what it gets back until it no longer touches the connection.
    std::shared_ptr<web_transport::Connection> Release(uint64_t id);
    // Those the slots gave up to make room.
    void Close(const std::vector<uint64_t>& ids);
    void CloseAll();

    const WebServerConfig& config;
    const Handlers& handlers;
    std::optional<web_transport::asio::ssl::context> tls;
    std::unique_ptr<web_transport::asio::io_context> ioc;
    std::optional<web_transport::tcp::acceptor> acceptor;
    std::thread thread;
    std::atomic<bool> running{false};
    uint16_t port = 0;
    HostPolicy hostPolicy;
    std::string cookieName;
    std::string trustedProxy;  // canonical, or empty
    std::chrono::steady_clock::time_point addressesRead;
    uint64_t nextId = 1;
    ConnectionSlots slotTable{
        {WebServer::kMaxConnections, WebServer::kMaxWithoutSession, WebServer::kMaxPerAddress}};
    std::unordered_map<uint64_t, std::weak_ptr<web_transport::Connection>> open;
    std::unordered_map<uint64_t, std::weak_ptr<web_transport::LiveConnection>> live;
    std::unordered_map<uint64_t, std::shared_ptr<web_transport::Connection>> held;
};
