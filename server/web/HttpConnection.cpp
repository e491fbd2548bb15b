// One HTTP connection: it reads each request within the limits (header size and count, body size,
// times), refuses what fails the Host and same-origin rules, hands the rest to the server's request
// handler and writes the answer. A refusal of a request from another site is told to the
// server's rejected handler, whatever status refused it. An answer that grants an upgrade hands
// the connection over to a live socket.
#include <openssl/ssl.h>

#include <boost/beast/websocket.hpp>
#include <cctype>

#include "WebServerImpl.h"

namespace web_transport {

namespace websocket = beast::websocket;

namespace {

constexpr std::size_t kDrainLimit = 256 * 1024;
constexpr int kAwaitCoreSeconds = 30;

ApiResponse Error(int status, std::string_view message) {
    ApiResponse response;
    response.status = status;
    response.body = JsonError(message);
    return response;
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

template <class Stream>
class HttpConnection final : public Connection,
                             public std::enable_shared_from_this<HttpConnection<Stream>> {
public:
    HttpConnection(WebServer::Impl& server, Stream&& stream, std::string peer, uint64_t id)
        : server_(server),
          stream_(std::move(stream)),
          deadline_(*server.ioc),
          peer_(std::move(peer)),
          id_(id) {}
    ~HttpConnection() override {
        if (!handedOver_) server_.Forget(id_);
    }

    void Start() {
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

    const std::string& SessionId() const override { return sessionId_; }
    void SessionEnded() override {
        sessionId_.clear();
        server_.slotTable.SessionEnded(id_);
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
        crossSite_.clear();
        Deadline(WebServer::kHeaderSeconds);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                self->OnHeader(error);
            });
    }

    // Why a request comes from another site, or empty: a Host that is not ours, a change whose
    // origin is not the page's, an upgrade from another origin.
    std::string CrossSite(const Request& request, std::string_view path, bool hostAllowed) const {
        if (!hostAllowed) return "Host " + host_.substr(0, 100) + " is not served";
        const std::string method(request.method_string());
        if (websocket::is_upgrade(request)) {
            const auto origin = Field(request, http::field::origin);
            if (!origin || *origin != OwnOrigin(host_, secure_))
                return "a WebSocket from another origin";
        } else if (request.method() != http::verb::get && request.method() != http::verb::head &&
                   !SameOriginChange(host_, secure_, Field(request, http::field::origin),
                                     Field(request, http::field::referer),
                                     Field(request, "Sec-Fetch-Site"))) {
            return "a " + method.substr(0, 16) + " to " + std::string(path.substr(0, 100)) +
                   " from another origin";
        }
        return {};
    }

    void OnHeader(beast::error_code error) {
        // A Content-Length over the limit is found once every field is read: the request is
        // weighed as any other before it is refused.
        const bool tooLarge = error == http::error::body_limit;
        if (error == http::error::header_limit || error == http::error::buffer_overflow)
            return Refuse(431, "the request line and headers may hold at most 8 KiB");
        if (error == http::error::end_of_stream || error == asio::error::operation_aborted ||
            error == asio::error::eof || error == asio::error::connection_reset || closed_)
            return Close();
        if (error && !tooLarge) return Refuse(400, "the request could not be read as HTTP/1.1");

        const Request& request = parser_->get();
        if (static_cast<std::size_t>(std::distance(request.begin(), request.end())) >
            WebServer::kMaxHeaderFields)
            return Refuse(431, "a request may hold at most 64 header fields");
        if (request.count(http::field::host) != 1) return Refuse(400, "one Host header is needed");
        host_ = std::string(*Field(request, http::field::host));
        address_ = ClientAddress(peer_, server_.config.trustedProxy, ForwardedFor(request));
        secure_ = std::is_same_v<Stream, TlsStream>;
        if (!secure_ && !server_.config.trustedProxy.empty() && address_ != peer_) {
            const auto proto = Field(request, "X-Forwarded-Proto");
            secure_ = proto && *proto == "https";
        }
        const std::string_view target(request.target().data(), request.target().size());
        const bool hostAllowed = server_.HostAllowed(host_);
        crossSite_ = CrossSite(request, target.substr(0, target.find('?')), hostAllowed);
        if (!hostAllowed) return Refuse(400, "this server does not answer to that Host");
        if (request.find(http::field::transfer_encoding) != request.end())
            return Refuse(411, "chunked request bodies are not accepted: send a Content-Length");
        if (tooLarge) return Refuse(413, "a request body may hold at most 64 KiB");
        if (!TakeSlot()) return Refuse(503, "too many connections");
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

    // A request with a live session keeps its connection; one without must fit its address's
    // share, which may close others.
    bool TakeSlot() {
        const auto cookie = Field(parser_->get(), http::field::cookie);
        cookie_ = cookie ? CookieValue(*cookie, server_.cookieName) : std::string();
        const bool live = server_.handlers.session && server_.handlers.session(cookie_);
        sessionId_ = live ? cookie_ : std::string();
        const ConnectionSlots::Closing closing =
            server_.slotTable.Request(id_, !sessionId_.empty());
        if (!closing) return false;
        server_.Close(*closing);
        return true;
    }

    void Dispatch() {
        const Request& request = parser_->get();
        const std::string_view target(request.target().data(), request.target().size());
        if (target.empty() || target.front() != '/')
            return Refuse(400, "the request target must be a path");
        const std::size_t question = target.find('?');
        ApiRequest api;
        api.method = std::string(request.method_string());
        api.path = std::string(target.substr(0, question));
        if (question != std::string_view::npos)
            api.query = std::string(target.substr(question + 1));
        api.upgrade = websocket::is_upgrade(request);
        const bool change =
            request.method() != http::verb::get && request.method() != http::verb::head;
        if (api.upgrade && !crossSite_.empty())
            return Respond(Error(403, "a WebSocket must come from the admin page itself"), false);
        if (change) {
            const auto type = Field(request, http::field::content_type);
            if (!type || !IsJsonContentType(*type))
                return Respond(Error(415, "a change must be sent as application/json"), false);
            if (!crossSite_.empty())
                return Respond(Error(403, "a change must come from the admin page itself"), false);
        }
        api.sessionId = cookie_;
        api.body = request.body();
        api.bearer = BearerToken(request);
        api.address = address_;
        api.secure = secure_;
        const bool upgrade = api.upgrade;
        server_.slotTable.SetBusy(id_, true);
        Deadline(kAwaitCoreSeconds);
        server_.Hold(id_, this->shared_from_this());
        // The answer comes on the handler's thread: it is carried back to this thread and
        // dropped if the connection has closed meanwhile. The connection is held until then.
        server_.handlers.request(
            std::move(api),
            [weak = this->weak_from_this(), &ioc = *server_.ioc, upgrade](ApiResponse answer) {
                asio::post(ioc, [weak, upgrade, answer = std::move(answer)]() mutable {
                    auto self = weak.lock();
                    if (!self) return;
                    self->server_.Release(self->id_);
                    if (self->closed_) return;
                    if (upgrade && answer.live) return self->HandOver(std::move(*answer.live));
                    self->Respond(std::move(answer), false);
                });
            });
    }

    void HandOver(LiveGrant grant) {
        deadline_.cancel();
        handedOver_ = true;
        OpenLiveSocket(server_, std::move(stream_), id_, std::move(grant), address_,
                       parser_->release());
    }

    // An answer after which the connection closes: the request cannot be read further.
    void Refuse(int status, std::string_view message) { Respond(Error(status, message), true); }

    void Respond(ApiResponse answer, bool close) {
        if (answer.status >= 400 && !crossSite_.empty() && server_.handlers.rejected)
            server_.handlers.rejected(
                address_, crossSite_ + ", refused with " + std::to_string(answer.status));
        const bool headerRead = parser_ && parser_->is_header_done();
        const bool keepAlive = !close && headerRead && parser_->get().keep_alive();
        const bool head = headerRead && parser_->get().method() == http::verb::head;
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
        // HEAD: the header says the length a GET's body would have, and no body follows.
        if (head) response_.body().clear();
        Deadline(WebServer::kHeaderSeconds);
        http::async_write(
            stream_, response_,
            [self = this->shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                self->server_.slotTable.SetBusy(self->id_, false);
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
    std::string peer_, address_, host_, crossSite_;
    std::string cookie_;     // the session cookie's value, or empty
    std::string sessionId_;  // the same when it names a live session
    uint64_t id_ = 0;
    bool secure_ = false, closed_ = false, handedOver_ = false;
    std::array<char, 4096> drain_{};
    std::size_t drained_ = 0;
};

}  // namespace

void ServeConnection(WebServer::Impl& server, tcp::socket socket, std::string peer, uint64_t id) {
    if (server.tls) {
        auto tls = std::make_shared<HttpConnection<TlsStream>>(
            server, TlsStream(std::move(socket), *server.tls), std::move(peer), id);
        server.open[id] = tls;
        tls->Start();
    } else {
        auto plain = std::make_shared<HttpConnection<PlainStream>>(server, std::move(socket),
                                                                   std::move(peer), id);
        server.open[id] = plain;
        plain->Start();
    }
}

}  // namespace web_transport
