#include "WebServer.h"

#include <openssl/ssl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cctype>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using PlainStream = tcp::socket;
using TlsStream = asio::ssl::stream<tcp::socket>;
using Request = http::request<http::string_body>;

namespace {

constexpr const char* kPolicy =
    "default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'; "
    "form-action 'self'";
constexpr std::size_t kDrainLimit = 256 * 1024;
constexpr int kAwaitCoreSeconds = 30;
constexpr int kAddressRefreshSeconds = 10;

template <class Fields>
void AddSecurityHeaders(Fields& fields) {
    fields.set("Content-Security-Policy", kPolicy);
    fields.set("X-Content-Type-Options", "nosniff");
    fields.set("X-Frame-Options", "DENY");
    fields.set("Referrer-Policy", "no-referrer");
    fields.set("Cross-Origin-Opener-Policy", "same-origin");
}

std::string JsonError(std::string_view message) {
    std::string body = "{\"error\":\"";
    for (char c : message) {
        if (c == '"' || c == '\\') {
            body += '\\';
            body += c;
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            body += c;
        }
    }
    return body + "\"}";
}

ApiResponse Error(int status, std::string_view message) {
    return {status, "application/json", JsonError(message), {}};
}

std::optional<std::string_view> Field(const Request& request, http::field name) {
    const auto found = request.find(name);
    if (found == request.end()) return std::nullopt;
    return std::string_view(found->value().data(), found->value().size());
}

std::optional<std::string_view> Field(const Request& request, std::string_view name) {
    const auto found = request.find(beast::string_view(name.data(), name.size()));
    if (found == request.end()) return std::nullopt;
    return std::string_view(found->value().data(), found->value().size());
}

// Every X-Forwarded-For line, joined, since each proxy may have added its own.
std::optional<std::string> ForwardedFor(const Request& request) {
    std::optional<std::string> joined;
    for (auto [it, end] = request.equal_range("X-Forwarded-For"); it != end; ++it) {
        joined = joined ? *joined + "," : std::string();
        joined->append(it->value().data(), it->value().size());
    }
    return joined;
}

std::optional<std::string> BearerToken(const Request& request) {
    const auto value = Field(request, http::field::authorization);
    if (!value || value->size() < 7) return std::nullopt;
    std::string scheme(value->substr(0, 7));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "bearer ") return std::nullopt;
    return std::string(value->substr(7));
}

bool IsApiPath(std::string_view path) {
    return path.rfind("/api/", 0) == 0 || path == "/metrics" || path == "/healthz";
}

std::string ReadableKeyError(const std::string& keyFile) {
    struct stat info {};
    if (::stat(keyFile.c_str(), &info) != 0)
        return "cannot read the key file " + keyFile + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "the key file " + keyFile + " is not a regular file";
    if (info.st_mode & (S_IROTH | S_IWOTH))
        return "the key file " + keyFile + " is readable by others (chmod o-rwx it)";
    return {};
}

}  // namespace

// A connection the server can close at shutdown.
struct Connection {
    virtual ~Connection() = default;
    virtual void Close() = 0;
};

// A live WebSocket: the fan-out and the session's end reach it.
struct LiveConnection : Connection {
    virtual void Send(std::shared_ptr<const std::string> message) = 0;
    virtual void EndSession() = 0;
    virtual const std::string& SessionId() const = 0;
};

struct WebServer::Impl {
    Impl(const WebServerConfig& config, const Handlers& handlers)
        : config(config), handlers(handlers), ioc(std::make_unique<asio::io_context>(1)) {}

    ~Impl() {
        // Pending handlers own the connections, whose destructors still reach the tables below.
        held.clear();
        acceptor.reset();
        ioc.reset();
    }

    std::string SetUpTls();
    void Accept();
    void OnAccept(beast::error_code error, tcp::socket socket);
    void RefuseBusy(tcp::socket& socket);
    bool HostAllowed(std::string_view host);
    uint64_t Register(const std::shared_ptr<Connection>& connection) {
        const uint64_t id = nextId++;
        open[id] = connection;
        return id;
    }
    void Forget(uint64_t id) {
        open.erase(id);
        live.erase(id);
    }
    // While the user-interface thread answers, no operation of the connection's own keeps it.
    void Hold(uint64_t id, std::shared_ptr<Connection> connection) {
        held[id] = std::move(connection);
    }
    // The caller keeps what it gets back until it no longer touches the connection.
    std::shared_ptr<Connection> Release(uint64_t id) {
        const auto found = held.find(id);
        if (found == held.end()) return nullptr;
        std::shared_ptr<Connection> connection = std::move(found->second);
        held.erase(found);
        return connection;
    }
    void CloseAll() {
        if (acceptor) acceptor->close();
        std::vector<std::shared_ptr<Connection>> all;
        for (auto& [id, weak] : open)
            if (auto connection = weak.lock()) all.push_back(connection);
        for (auto& connection : all) connection->Close();
    }

    const WebServerConfig& config;
    const Handlers& handlers;
    std::optional<asio::ssl::context> tls;
    std::unique_ptr<asio::io_context> ioc;
    std::optional<tcp::acceptor> acceptor;
    asio::steady_timer* retryTimer = nullptr;
    std::thread thread;
    std::atomic<bool> running{false};
    uint16_t port = 0;
    HostPolicy hostPolicy;
    std::string cookieName;
    std::chrono::steady_clock::time_point addressesRead;
    uint64_t nextId = 1;
    std::unordered_map<uint64_t, std::weak_ptr<Connection>> open;
    std::unordered_map<uint64_t, std::weak_ptr<LiveConnection>> live;
    std::unordered_map<uint64_t, std::shared_ptr<Connection>> held;
};

namespace {

template <class Stream>
auto& Lowest(Stream& stream) {
    return beast::get_lowest_layer(stream);
}

template <class Stream>
class LiveSocket final : public LiveConnection,
                         public std::enable_shared_from_this<LiveSocket<Stream>> {
public:
    LiveSocket(WebServer::Impl& server, Stream&& stream, uint64_t id, std::string sessionId,
               std::string address)
        : server_(server),
          ws_(std::move(stream)),
          id_(id),
          sessionId_(std::move(sessionId)),
          address_(std::move(address)) {}
    ~LiveSocket() override { server_.Forget(id_); }

    void Accept(Request request, std::vector<std::string> greeting) {
        request_ = std::move(request);
        for (std::string& text : greeting)
            Send(std::make_shared<const std::string>(std::move(text)));
        ws_.set_option(
            websocket::stream_base::timeout{std::chrono::seconds(WebServer::kHeaderSeconds),
                                            std::chrono::seconds(WebServer::kIdleSeconds), true});
        ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
            AddSecurityHeaders(response);
            response.set(http::field::cache_control, "no-store");
        }));
        ws_.read_message_max(WebServer::kLiveMessageLimit);
        ws_.async_accept(request_, [self = this->shared_from_this()](beast::error_code error) {
            if (error) return self->Drop();
            self->accepted_ = true;
            if (!self->queue_.empty()) self->Write();
            self->Read();
        });
    }

    void Send(std::shared_ptr<const std::string> message) override {
        if (closing_) return;
        // A client that cannot keep up is dropped rather than let the server hold its backlog.
        if (queue_.size() >= WebServer::kLiveQueueMessages ||
            queuedBytes_ + message->size() > WebServer::kLiveQueueBytes)
            return Drop();
        queuedBytes_ += message->size();
        queue_.push_back(std::move(message));
        if (accepted_ && !writing_) Write();
    }

    void EndSession() override {
        if (closing_) return;
        if (!accepted_) return Drop();
        closing_ = true;
        server_.live.erase(id_);
        ws_.async_close(
            websocket::close_reason(
                static_cast<websocket::close_code>(WebServer::kSessionEndedCode), "session ended"),
            [self = this->shared_from_this()](beast::error_code) {
                beast::error_code ignored;
                Lowest(self->ws_).close(ignored);
            });
    }

    void Close() override { Drop(); }
    const std::string& SessionId() const override { return sessionId_; }

private:
    void Drop() {
        const auto keep = server_.Release(id_);
        closing_ = true;
        server_.live.erase(id_);
        beast::error_code ignored;
        Lowest(ws_).close(ignored);
    }

    void Write() {
        writing_ = true;
        ws_.text(true);
        ws_.async_write(asio::buffer(*queue_.front()),
                        [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                            self->writing_ = false;
                            if (error) return self->Drop();
                            self->queuedBytes_ -= self->queue_.front()->size();
                            self->queue_.pop_front();
                            if (!self->queue_.empty() && !self->closing_) self->Write();
                        });
    }

    // One message at a time: the next is read once the core has answered this one.
    void Read() {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code error,
                                                                  std::size_t) {
            if (error) return self->Drop();
            if (!self->ws_.got_text()) return self->Drop();
            std::string text = beast::buffers_to_string(self->buffer_.data());
            self->buffer_.consume(self->buffer_.size());
            asio::io_context& ioc = *self->server_.ioc;
            std::weak_ptr<LiveSocket> weak = self;
            self->server_.Hold(self->id_, self);
            self->server_.handlers.message(
                self->sessionId_, self->address_, std::move(text), [weak, &ioc](LiveReply reply) {
                    asio::post(ioc, [weak, reply = std::move(reply)]() mutable {
                        if (auto socket = weak.lock()) socket->OnReply(std::move(reply));
                    });
                });
        });
    }

    void OnReply(LiveReply reply) {
        const auto keep = server_.Release(id_);
        if (closing_) return;
        if (!reply.text.empty()) Send(std::make_shared<const std::string>(std::move(reply.text)));
        if (reply.close) return EndSession();
        Read();
    }

    WebServer::Impl& server_;
    websocket::stream<Stream> ws_;
    uint64_t id_;
    std::string sessionId_, address_;
    Request request_;
    beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0;
    bool accepted_ = false, writing_ = false, closing_ = false;
};

template <class Stream>
class HttpConnection final : public Connection,
                             public std::enable_shared_from_this<HttpConnection<Stream>> {
public:
    HttpConnection(WebServer::Impl& server, Stream&& stream, std::string peer)
        : server_(server),
          stream_(std::move(stream)),
          deadline_(*server.ioc),
          buffer_(WebServer::kHeaderLimit + WebServer::kBodyLimit + 4096),
          peer_(std::move(peer)) {}
    ~HttpConnection() override {
        if (!handedOver_) server_.Forget(id_);
    }

    void Start(uint64_t id) {
        id_ = id;
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            Deadline(WebServer::kHeaderSeconds);
            stream_.async_handshake(asio::ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code error) {
                                        if (error) return self->Close();
                                        self->ReadHeader();
                                    });
        } else {
            ReadHeader();
        }
    }

    void Close() override {
        const auto keep = server_.Release(id_);
        closed_ = true;
        deadline_.cancel();
        beast::error_code ignored;
        Lowest(stream_).close(ignored);
    }

private:
    void Deadline(int seconds) {
        deadline_.expires_after(std::chrono::seconds(seconds));
        deadline_.async_wait([weak = this->weak_from_this()](beast::error_code error) {
            if (error) return;
            if (auto self = weak.lock()) self->Close();
        });
    }

    // Between requests the connection may idle; once a request begins, its headers have a
    // shorter time to arrive.
    void AwaitRequest() {
        bool pending = buffer_.size() > 0;
        if constexpr (std::is_same_v<Stream, TlsStream>)
            pending = pending || SSL_pending(stream_.native_handle()) > 0;
        if (pending) return ReadHeader();
        Deadline(WebServer::kIdleSeconds);
        Lowest(stream_).async_wait(tcp::socket::wait_read,
                                   [self = this->shared_from_this()](beast::error_code error) {
                                       if (error || self->closed_) return self->Close();
                                       self->ReadHeader();
                                   });
    }

    void ReadHeader() {
        parser_.emplace();
        parser_->header_limit(WebServer::kHeaderLimit);
        parser_->body_limit(WebServer::kBodyLimit);
        Deadline(WebServer::kHeaderSeconds);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                self->OnHeader(error);
            });
    }

    void OnHeader(beast::error_code error) {
        if (error == http::error::header_limit || error == http::error::buffer_overflow)
            return Refuse(431, "the request line and headers may hold at most 8 KiB");
        if (error == http::error::body_limit)
            return Refuse(413, "a request body may hold at most 64 KiB");
        if (error == http::error::end_of_stream || error == asio::error::operation_aborted ||
            error == asio::error::eof || error == asio::error::connection_reset || closed_)
            return Close();
        if (error) return Refuse(400, "the request could not be read as HTTP/1.1");

        const Request& request = parser_->get();
        if (static_cast<std::size_t>(std::distance(request.begin(), request.end())) >
            WebServer::kMaxHeaderFields)
            return Refuse(431, "a request may hold at most 64 header fields");
        if (request.find(http::field::transfer_encoding) != request.end())
            return Refuse(411, "chunked request bodies are not accepted: send a Content-Length");
        if (parser_->content_length().value_or(0) > WebServer::kBodyLimit)
            return Refuse(413, "a request body may hold at most 64 KiB");
        if (request.count(http::field::host) != 1) return Refuse(400, "one Host header is needed");
        host_ = std::string(*Field(request, http::field::host));
        address_ = ClientAddress(peer_, server_.config.trustedProxy, ForwardedFor(request));
        if (!server_.HostAllowed(host_)) {
            Reject("Host " + host_.substr(0, 100) + " is not served");
            return Refuse(400, "this server does not answer to that Host");
        }
        secure_ = std::is_same_v<Stream, TlsStream>;
        if (!secure_ && !server_.config.trustedProxy.empty() && address_ != peer_) {
            const auto proto = Field(request, "X-Forwarded-Proto");
            secure_ = proto && *proto == "https";
        }
        if (parser_->is_done()) return Dispatch();
        Deadline(WebServer::kHeaderSeconds);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                             if (error == http::error::body_limit)
                                 return self->Refuse(413, "a request body may hold at most 64 KiB");
                             if (error) return self->Close();
                             self->Dispatch();
                         });
    }

    void Dispatch() {
        const Request& request = parser_->get();
        const std::string_view target(request.target().data(), request.target().size());
        if (target.empty() || target.front() != '/')
            return Refuse(400, "the request target must be a path");
        const std::size_t question = target.find('?');
        const std::string path(target.substr(0, question));
        const std::string query(question == std::string_view::npos ? std::string_view()
                                                                   : target.substr(question + 1));
        const bool get = request.method() == http::verb::get;

        if (path == "/api/live" && websocket::is_upgrade(request)) return Upgrade(query);
        if (!IsApiPath(path)) {
            const auto file = server_.config.files.find(path);
            if (file == server_.config.files.end())
                return Respond(Error(404, "no such page"), false);
            if (!get) return Respond(Error(405, "only GET is served here"), false);
            ApiResponse page{200, file->second.contentType, file->second.body, {}};
            page.headers.emplace_back("Cache-Control", "no-cache");
            return Respond(std::move(page), false);
        }
        if (!get) {
            const auto type = Field(request, http::field::content_type);
            if (!type || !IsJsonContentType(*type))
                return Respond(Error(415, "a change must be sent as application/json"), false);
            if (!SameOriginChange(host_, secure_, Field(request, http::field::origin),
                                  Field(request, http::field::referer),
                                  Field(request, "Sec-Fetch-Site"))) {
                Reject("a " + std::string(request.method_string()) + " to " + path +
                       " from another origin");
                return Respond(Error(403, "a change must come from the admin page itself"), false);
            }
        }
        ApiRequest api = CoreRequest(std::string(request.method_string()), path, query);
        api.body = request.body();
        api.bearer = BearerToken(request);
        server_.handlers.request(
            std::move(api), AwaitCore<ApiResponse>([](HttpConnection& self, ApiResponse answer) {
                self.Respond(std::move(answer), false);
            }));
    }

    void Upgrade(const std::string& query) {
        const Request& request = parser_->get();
        const auto origin = Field(request, http::field::origin);
        if (!origin || *origin != OwnOrigin(host_, secure_)) {
            Reject("a WebSocket from another origin");
            return Respond(Error(403, "a WebSocket must come from the admin page itself"), false);
        }
        const ApiRequest api = CoreRequest("GET", "/api/live", query);
        server_.handlers.admit(
            api, AwaitCore<LiveAdmission>(
                     [session = api.sessionId](HttpConnection& self, LiveAdmission admission) {
                         self.OnAdmission(session, std::move(admission));
                     }));
    }

    // What the core is told of a request besides its own fields: who sends it, and how.
    ApiRequest CoreRequest(std::string method, std::string path, std::string query) const {
        ApiRequest api;
        api.method = std::move(method);
        api.path = std::move(path);
        api.query = std::move(query);
        if (const auto cookie = Field(parser_->get(), http::field::cookie))
            api.sessionId = CookieValue(*cookie, server_.cookieName);
        api.address = address_;
        api.secure = secure_;
        return api;
    }

    // The callback through which the core answers, on the core's thread: the answer is carried back
    // to this connection's thread and dropped if the connection has closed meanwhile. The
    // connection is held (and its deadline runs) until then.
    template <class Answer, class Then>
    std::function<void(Answer)> AwaitCore(Then then) {
        Deadline(kAwaitCoreSeconds);
        server_.Hold(id_, this->shared_from_this());
        return [weak = this->weak_from_this(), &ioc = *server_.ioc, then](Answer answer) {
            asio::post(ioc, [weak, then, answer = std::move(answer)]() mutable {
                auto self = weak.lock();
                if (!self) return;
                self->server_.Release(self->id_);
                if (!self->closed_) then(*self, std::move(answer));
            });
        };
    }

    void OnAdmission(const std::string& sessionId, LiveAdmission admission) {
        if (!admission.admitted) return Respond(std::move(admission.refusal), false);
        deadline_.cancel();
        handedOver_ = true;
        auto socket = std::make_shared<LiveSocket<Stream>>(server_, std::move(stream_), id_,
                                                           sessionId, address_);
        server_.open[id_] = socket;
        server_.live[id_] = socket;
        socket->Accept(parser_->release(), std::move(admission.greeting));
    }

    void Reject(std::string reason) {
        if (server_.handlers.rejected) server_.handlers.rejected(address_, std::move(reason));
    }

    // An answer after which the connection closes: the request cannot be read further.
    void Refuse(int status, std::string_view message) { Respond(Error(status, message), true); }

    void Respond(ApiResponse answer, bool close) {
        const bool keepAlive =
            !close && parser_ && parser_->is_header_done() && parser_->get().keep_alive();
        response_ = {};
        response_.version(11);
        response_.result(static_cast<unsigned>(answer.status));
        AddSecurityHeaders(response_);
        // Nothing but the page itself may be kept by a cache.
        const bool ownCaching =
            std::any_of(answer.headers.begin(), answer.headers.end(),
                        [](const auto& h) { return h.first == "Cache-Control"; });
        if (!ownCaching) response_.set(http::field::cache_control, "no-store");
        response_.set(http::field::content_type, answer.contentType);
        for (auto& [name, value] : answer.headers) response_.insert(name, value);
        response_.body() = std::move(answer.body);
        response_.keep_alive(keepAlive);
        response_.prepare_payload();
        Deadline(WebServer::kHeaderSeconds);
        http::async_write(
            stream_, response_,
            [self = this->shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                if (error) return self->Close();
                if (keepAlive) return self->AwaitRequest();
                self->Linger();
            });
    }

    // Closing at once with unread request bytes would reset the connection and could lose the
    // answer on its way; the write side is shut and what still comes is read and dropped.
    void Linger() {
        beast::error_code ignored;
        Lowest(stream_).shutdown(tcp::socket::shutdown_send, ignored);
        Deadline(2);
        Drain();
    }

    void Drain() {
        Lowest(stream_).async_read_some(
            asio::buffer(drain_),
            [self = this->shared_from_this()](beast::error_code error, std::size_t n) {
                self->drained_ += n;
                if (error || self->drained_ > kDrainLimit) return self->Close();
                self->Drain();
            });
    }

    WebServer::Impl& server_;
    Stream stream_;
    asio::steady_timer deadline_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    std::string peer_, address_, host_;
    uint64_t id_ = 0;
    bool secure_ = false, closed_ = false, handedOver_ = false;
    std::array<char, 4096> drain_{};
    std::size_t drained_ = 0;
};

}  // namespace

std::string WebServer::Impl::SetUpTls() {
    if (std::string why = ReadableKeyError(config.keyFile); !why.empty()) return why;
    tls.emplace(asio::ssl::context::tls_server);
    tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                     asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                     asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use |
                     asio::ssl::context::no_compression);
    SSL_CTX* native = tls->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    // TLS 1.2: forward secret key exchange with an AEAD cipher only (TLS 1.3's are all such).
    SSL_CTX_set_cipher_list(native, "ECDHE+AESGCM:ECDHE+CHACHA20");
    beast::error_code error;
    tls->use_certificate_chain_file(config.certFile, error);
    if (error) return "cannot load the certificate " + config.certFile + ": " + error.message();
    tls->use_private_key_file(config.keyFile, asio::ssl::context::pem, error);
    if (error) return "cannot load the key " + config.keyFile + ": " + error.message();
    if (SSL_CTX_check_private_key(native) != 1)
        return "the key " + config.keyFile + " does not belong to the certificate";
    return {};
}

bool WebServer::Impl::HostAllowed(std::string_view host) {
    if (::HostAllowed(host, hostPolicy)) return true;
    // The machine's addresses may have changed since they were read.
    const auto now = std::chrono::steady_clock::now();
    if (now - addressesRead < std::chrono::seconds(kAddressRefreshSeconds)) return false;
    addressesRead = now;
    hostPolicy.ownAddresses = MachineAddresses();
    return ::HostAllowed(host, hostPolicy);
}

void WebServer::Impl::Accept() {
    acceptor->async_accept([this](beast::error_code error, tcp::socket socket) {
        OnAccept(error, std::move(socket));
    });
}

void WebServer::Impl::RefuseBusy(tcp::socket& socket) {
    static const std::string kBusy = [] {
        http::response<http::string_body> busy{http::status::service_unavailable, 11};
        AddSecurityHeaders(busy);
        busy.set(http::field::content_type, "application/json");
        busy.set(http::field::cache_control, "no-store");
        busy.body() = JsonError("too many connections");
        busy.keep_alive(false);
        busy.prepare_payload();
        std::ostringstream text;
        text << busy;
        return text.str();
    }();
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(asio::buffer(kBusy), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

void WebServer::Impl::OnAccept(beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor || !acceptor->is_open()) return;
    if (error) {
        // Out of descriptors, most likely: try again shortly rather than spin.
        auto timer = std::make_shared<asio::steady_timer>(*ioc, std::chrono::milliseconds(100));
        timer->async_wait([this, timer](beast::error_code e) {
            if (!e && acceptor && acceptor->is_open()) Accept();
        });
        return;
    }
    if (open.size() >= static_cast<std::size_t>(kMaxConnections)) {
        RefuseBusy(socket);
        return Accept();
    }
    beast::error_code ignored;
    const auto remote = socket.remote_endpoint(ignored);
    const std::string peer =
        CanonicalAddress(remote.address().to_string()).value_or(remote.address().to_string());
    if (tls) {
        auto connection = std::make_shared<HttpConnection<TlsStream>>(
            *this, TlsStream(std::move(socket), *tls), peer);
        connection->Start(Register(connection));
    } else {
        auto connection =
            std::make_shared<HttpConnection<PlainStream>>(*this, std::move(socket), peer);
        connection->Start(Register(connection));
    }
    Accept();
}

WebServer::WebServer(WebServerConfig config, Handlers handlers)
    : config_(std::move(config)), handlers_(std::move(handlers)) {}

WebServer::~WebServer() {
    Stop();
}

std::string WebServer::Start() {
    if (impl_) return "the web admin was already started";
    impl_ = std::make_unique<Impl>(config_, handlers_);
    Impl& impl = *impl_;
    if (!config_.certFile.empty())
        if (std::string why = impl.SetUpTls(); !why.empty()) {
            impl_.reset();
            return "cannot start TLS: " + why;
        }
    beast::error_code error;
    const auto address = asio::ip::make_address(config_.address, error);
    if (error) {
        impl_.reset();
        return "bad address " + config_.address;
    }
    const tcp::endpoint endpoint(address, config_.port);
    const std::string where = (address.is_v6() ? "[" + config_.address + "]" : config_.address) +
                              ":" + std::to_string(config_.port);
    impl.acceptor.emplace(*impl.ioc);
    impl.acceptor->open(endpoint.protocol(), error);
    if (!error) impl.acceptor->set_option(asio::socket_base::reuse_address(true), error);
    if (!error) impl.acceptor->bind(endpoint, error);
    if (!error) impl.acceptor->listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        std::string why =
            error == asio::error::address_in_use
                ? "port " + std::to_string(config_.port) + " on " + config_.address + " is taken"
                : "cannot listen on " + where + ": " + error.message();
        impl_.reset();
        return why;
    }
    impl.port = impl.acceptor->local_endpoint().port();
    impl.hostPolicy.port = impl.port;
    impl.cookieName = config_.cookiePrefix + std::to_string(impl.port);
    impl.hostPolicy.tls = !config_.certFile.empty();
    impl.hostPolicy.names = config_.hostNames;
    impl.hostPolicy.ownAddresses = MachineAddresses();
    impl.addressesRead = std::chrono::steady_clock::now();
    impl.Accept();
    impl.running = true;
    impl.thread = std::thread([&impl] { impl.ioc->run(); });
    return {};
}

void WebServer::Stop() {
    if (!impl_) return;
    if (impl_->thread.joinable()) {
        Impl& impl = *impl_;
        asio::post(*impl.ioc, [&impl] {
            impl.CloseAll();
            impl.ioc->stop();
        });
        impl.thread.join();
    }
    impl_->running = false;
    impl_.reset();
}

bool WebServer::IsRunning() const {
    return impl_ && impl_->running;
}

uint16_t WebServer::Port() const {
    return impl_ ? impl_->port : 0;
}

void WebServer::Broadcast(std::vector<std::shared_ptr<const std::string>> messages) {
    if (!impl_ || messages.empty()) return;
    Impl& impl = *impl_;
    asio::post(*impl.ioc, [&impl, messages = std::move(messages)] {
        std::vector<std::shared_ptr<LiveConnection>> sockets;
        sockets.reserve(impl.live.size());
        for (auto& [id, weak] : impl.live)
            if (auto socket = weak.lock()) sockets.push_back(std::move(socket));
        for (auto& socket : sockets)
            for (const auto& message : messages) socket->Send(message);
    });
}

void WebServer::CloseSessions(std::vector<std::string> sessionIds) {
    if (!impl_ || sessionIds.empty()) return;
    Impl& impl = *impl_;
    asio::post(*impl.ioc,
               [&impl, ids = std::set<std::string>(sessionIds.begin(), sessionIds.end())] {
                   std::vector<std::shared_ptr<LiveConnection>> ending;
                   for (auto& [id, weak] : impl.live)
                       if (auto socket = weak.lock(); socket && ids.count(socket->SessionId()))
                           ending.push_back(std::move(socket));
                   for (auto& socket : ending) socket->EndSession();
               });
}
