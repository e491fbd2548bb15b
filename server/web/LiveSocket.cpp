// A live socket: a granted WebSocket upgrade. It sends the greeting and then whatever the feed
// broadcasts, through a bounded queue (a client that cannot keep up is dropped, never the server
// slowed), and hands each message it reads to the server's message handler, one at a time.
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <deque>

#include "WebServerImpl.h"

namespace web_transport {

namespace websocket = beast::websocket;

namespace {

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
        if (queue_.size() >= WebServer::kLiveQueueMessages ||
            queuedBytes_ + message->size() > WebServer::kLiveQueueBytes)
            return Drop();
        queuedBytes_ += message->size();
        queue_.push_back(std::move(message));
        if (accepted_ && !writing_) Write();
    }

    // The client is told to log in again.
    void SessionEnded() override {
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
            if (error || !self->ws_.got_text()) return self->Drop();
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
        if (reply.close) return SessionEnded();
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

}  // namespace

template <class Stream>
void OpenLiveSocket(WebServer::Impl& server, Stream&& stream, uint64_t id, LiveGrant grant,
                    std::string address, Request request) {
    auto socket = std::make_shared<LiveSocket<Stream>>(
        server, std::move(stream), id, std::move(grant.sessionId), std::move(address));
    server.open[id] = socket;
    server.live[id] = socket;
    server.slotTable.SetBusy(id, false);
    socket->Accept(std::move(request), std::move(grant.greeting));
}

template void OpenLiveSocket<PlainStream>(WebServer::Impl&, PlainStream&&, uint64_t, LiveGrant,
                                          std::string, Request);
template void OpenLiveSocket<TlsStream>(WebServer::Impl&, TlsStream&&, uint64_t, LiveGrant,
                                        std::string, Request);

}  // namespace web_transport
