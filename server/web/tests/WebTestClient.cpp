#include "WebTestClient.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <deque>
#include <optional>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

std::string HttpReply::Header(const std::string& lowercaseName) const {
    const auto found = headers.find(lowercaseName);
    return found == headers.end() ? std::string() : found->second;
}

namespace {

template <class Stream>
HttpReply Exchange(Stream& stream, uint16_t port, const HttpCall& call) {
    http::request<http::string_body> request;
    request.method_string(call.method);
    request.target(call.target);
    request.version(11);
    bool hasHost = false;
    for (const auto& [name, value] : call.headers) {
        request.insert(name, value);
        if (beast::iequals(name, "Host")) hasHost = true;
    }
    if (!hasHost) request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    request.body() = call.body;
    if (!call.body.empty() || call.method == "POST") request.prepare_payload();
    HttpReply reply;
    beast::error_code error;
    http::write(stream, request, error);
    if (error) return reply;
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(16 * 1024 * 1024);
    http::read(stream, buffer, parser, error);
    if (error) return reply;
    const auto& response = parser.get();
    reply.status = static_cast<int>(response.result_int());
    for (const auto& field : response) {
        std::string name(field.name_string());
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        reply.headers.emplace(name, std::string(field.value()));
    }
    reply.body = response.body();
    return reply;
}

// Connected to the server on loopback, from `from` when given.
void Connect(tcp::socket& socket, uint16_t port, const std::string& from,
             beast::error_code& error) {
    if (!from.empty()) {
        socket.open(tcp::v4(), error);
        if (!error) socket.bind({asio::ip::make_address(from), 0}, error);
        if (error) return;
    }
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
}

}  // namespace

HttpReply Http(uint16_t port, const HttpCall& call) {
    asio::io_context ioc;
    tcp::socket socket(ioc);
    beast::error_code error;
    Connect(socket, port, call.from, error);
    if (error) return {};
    // A hung server fails the test rather than hanging it.
    const timeval timeout{10, 0};
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (!call.tls) return Exchange(socket, port, call);
    asio::ssl::context context(asio::ssl::context::tls_client);
    context.set_verify_mode(asio::ssl::verify_none);
    asio::ssl::stream<tcp::socket&> stream(socket, context);
    stream.handshake(asio::ssl::stream_base::client, error);
    if (error) return {};
    return Exchange(stream, port, call);
}

HttpCall JsonPost(uint16_t port, std::string target, std::string body, const std::string& cookie) {
    HttpCall call{"POST",
                  std::move(target),
                  std::move(body),
                  {{"Content-Type", "application/json"},
                   {"Origin", "http://127.0.0.1:" + std::to_string(port)}}};
    if (!cookie.empty()) call.headers.emplace_back("Cookie", cookie);
    return call;
}

std::string CookieOf(const HttpReply& reply) {
    const std::string setCookie = reply.Header("set-cookie");
    return setCookie.substr(0, setCookie.find(';'));
}

std::string RawExchange(uint16_t port, const std::string& bytes, int timeoutMs) {
    asio::io_context ioc;
    tcp::socket socket(ioc);
    beast::error_code error;
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
    if (error) return {};
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    asio::write(socket, asio::buffer(bytes), error);
    std::string received;
    char chunk[4096];
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        const std::size_t n = socket.read_some(asio::buffer(chunk), error);
        if (error) break;
        received.append(chunk, n);
    }
    return received;
}

ConnectionFlood::ConnectionFlood(uint16_t port, std::vector<std::string> sources, int connections)
    : port_(port), sources_(std::move(sources)), connections_(connections) {
    thread_ = std::thread([this] { Run(); });
}

ConnectionFlood::~ConnectionFlood() {
    stop_ = true;
    thread_.join();
}

void ConnectionFlood::Run() {
    const std::string get =
        "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n\r\n";
    std::vector<pollfd> fds(static_cast<std::size_t>(connections_), pollfd{-1, POLLIN, 0});
    const auto open = [&](std::size_t i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, sources_[static_cast<std::size_t>(opened_) % sources_.size()].c_str(),
                    &address.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(port_);
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        // Kept alive or silent, every other one.
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            i % 2 == 0) {
            [[maybe_unused]] const ssize_t sent = ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
        }
        fds[i].fd = fd;
        ++opened_;
    };
    for (std::size_t i = 0; i < fds.size(); ++i) open(i);
    char sink[4096];
    while (!stop_) {
        if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (::recv(fds[i].fd, sink, sizeof sink, 0) > 0) continue;  // an answer: idle on
            ::close(fds[i].fd);
            open(i);
        }
    }
    for (const pollfd& entry : fds) ::close(entry.fd);
}

struct LiveClient::Impl {
    explicit Impl(LiveClient& owner) : owner(owner) {}

    // Reads and writes run on the client's own thread.
    void Read() {
        if (owner.stalled_) return;
        reading = true;
        ws.async_read(buffer, [this](beast::error_code error, std::size_t) {
            reading = false;
            if (error) {
                owner.closeCode_ = ws.reason().code;
                owner.closed_ = true;
                return;
            }
            {
                std::lock_guard guard(owner.mutex_);
                owner.messages_.push_back(beast::buffers_to_string(buffer.data()));
            }
            buffer.consume(buffer.size());
            Read();
        });
    }

    void Write() {
        ws.text(true);
        ws.async_write(asio::buffer(outgoing.front()),
                       [this](beast::error_code error, std::size_t) {
                           outgoing.pop_front();
                           if (error) outgoing.clear();
                           if (!outgoing.empty()) Write();
                       });
    }

    LiveClient& owner;
    asio::io_context ioc;
    websocket::stream<tcp::socket> ws{ioc};
    beast::flat_buffer buffer;
    std::deque<std::string> outgoing;
    bool reading = false;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{
        asio::make_work_guard(ioc)};
};

LiveClient::LiveClient() : impl_(std::make_unique<Impl>(*this)) {}

LiveClient::~LiveClient() {
    asio::post(impl_->ioc, [this] {
        beast::error_code ignored;
        impl_->ws.next_layer().close(ignored);
        impl_->work.reset();
    });
    if (reader_.joinable()) reader_.join();
}

int LiveClient::Connect(uint16_t port, const std::string& cookie, const std::string& origin,
                        const std::string& target) {
    beast::error_code error;
    impl_->ws.next_layer().connect({asio::ip::make_address("127.0.0.1"), port}, error);
    if (error) return 0;
    impl_->ws.set_option(
        websocket::stream_base::decorator([cookie, origin](websocket::request_type& request) {
            if (!cookie.empty()) request.set(http::field::cookie, cookie);
            if (!origin.empty()) request.set(http::field::origin, origin);
        }));
    websocket::response_type response;
    impl_->ws.handshake(response, "127.0.0.1:" + std::to_string(port), target, error);
    if (error) {
        closed_ = true;
        if (response.result_int() != 200) return static_cast<int>(response.result_int());
        // A refusal with a body is not read into the response: ask again plainly.
        HttpCall again{"GET",
                       target,
                       {},
                       {{"Connection", "Upgrade"},
                        {"Upgrade", "websocket"},
                        {"Sec-WebSocket-Version", "13"},
                        {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}}};
        if (!cookie.empty()) again.headers.emplace_back("Cookie", cookie);
        if (!origin.empty()) again.headers.emplace_back("Origin", origin);
        return Http(port, again).status;
    }
    impl_->Read();
    reader_ = std::thread([this] { impl_->ioc.run(); });
    return 101;
}

void LiveClient::Send(const std::string& text) {
    asio::post(impl_->ioc, [this, text] {
        impl_->outgoing.push_back(text);
        if (impl_->outgoing.size() == 1) impl_->Write();
    });
}

std::vector<std::string> LiveClient::Messages() const {
    std::lock_guard guard(mutex_);
    return messages_;
}

std::size_t LiveClient::TotalBytes() const {
    std::lock_guard guard(mutex_);
    std::size_t total = 0;
    for (const std::string& message : messages_) total += message.size();
    return total;
}

void LiveClient::Stall() {
    stalled_ = true;
}

void LiveClient::Resume() {
    asio::post(impl_->ioc, [this] {
        stalled_ = false;
        if (!impl_->reading && !closed_) impl_->Read();
    });
}
