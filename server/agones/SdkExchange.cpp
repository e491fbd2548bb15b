#include "SdkExchange.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

namespace http = boost::beast::http;

namespace {

// Header and body bounds, with room for chunk framing; more than this is never held.
constexpr std::size_t kMaxAnswerBytes =
    2 * (SdkExchange::kMaxHeaderBytes + SdkExchange::kMaxBodyBytes);

}  // namespace

struct SdkExchange::Reader {
    Reader() {
        parser.header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
        // Not eager: Beast 1.74 skips the body limit when it reads a whole answer eagerly.
        parser.body_limit(kMaxBodyBytes);
    }
    http::response_parser<http::string_body> parser;
    std::string pending;  // received, not yet taken by the parser
    std::size_t received = 0;
};

SdkExchange::SdkExchange(uint16_t port, std::string method, std::string path, std::string body,
                         std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent),
      port_(port),
      timeout_(timeout),
      socket_(new QTcpSocket(this)),
      reader_(std::make_unique<Reader>()) {
    request_ = method + ' ' + path + " HTTP/1.1\r\nHost: localhost:" + std::to_string(port) +
               "\r\nAccept: application/json\r\nConnection: close\r\n";
    if (method != "GET")
        request_ +=
            "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
    else
        request_ += "\r\n";
    socket_->setReadBufferSize(static_cast<qint64>(kMaxHeaderBytes + kMaxBodyBytes));
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        Finish({SdkAnswer::Outcome::Unreachable,
                0,
                {},
                "no answer within " + std::to_string(timeout_.count()) + " ms"});
    });
    connect(socket_, &QTcpSocket::connected, this,
            [this] { socket_->write(request_.data(), static_cast<qint64>(request_.size())); });
    connect(socket_, &QTcpSocket::readyRead, this, &SdkExchange::Take);
    connect(socket_, &QTcpSocket::disconnected, this, &SdkExchange::Closed);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) return;  // `disconnected` follows
        Finish({SdkAnswer::Outcome::Unreachable, 0, {}, socket_->errorString().toStdString()});
    });
}

SdkExchange::~SdkExchange() = default;

void SdkExchange::Start() {
    deadline_.start(timeout_);
    socket_->connectToHost(QHostAddress(QHostAddress::LocalHost), port_);
}

void SdkExchange::Take() {
    while (!done_ && socket_->bytesAvailable() > 0) {
        const QByteArray bytes = socket_->read(64 * 1024);
        reader_->received += static_cast<std::size_t>(bytes.size());
        if (reader_->received > kMaxAnswerBytes) {
            Finish({SdkAnswer::Outcome::Broken, 0, {}, "the answer is too large"});
            return;
        }
        reader_->pending.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        http::response_parser<http::string_body>& parser = reader_->parser;
        while (!parser.is_done() && !reader_->pending.empty()) {
            boost::system::error_code ec;
            const std::size_t used = parser.put(
                boost::asio::buffer(reader_->pending.data(), reader_->pending.size()), ec);
            reader_->pending.erase(0, used);
            if (ec == http::error::need_more || (!ec && used == 0)) break;
            if (ec) {
                Finish({SdkAnswer::Outcome::Broken, 0, {}, "a bad answer: " + ec.message()});
                return;
            }
        }
        if (parser.is_done()) {
            const auto& answer = parser.get();
            Finish({SdkAnswer::Outcome::Answered,
                    static_cast<int>(answer.result_int()),
                    answer.body(),
                    {}});
        }
    }
}

void SdkExchange::Closed() {
    Take();
    if (done_) return;
    http::response_parser<http::string_body>& parser = reader_->parser;
    if (!parser.got_some()) {
        Finish({SdkAnswer::Outcome::Unreachable, 0, {}, "closed without an answer"});
        return;
    }
    boost::system::error_code ec;
    parser.put_eof(ec);  // an answer whose body ends with the connection
    if (ec || !parser.is_done()) {
        Finish({SdkAnswer::Outcome::Broken, 0, {}, "the answer was cut short"});
        return;
    }
    Finish({SdkAnswer::Outcome::Answered,
            static_cast<int>(parser.get().result_int()),
            parser.get().body(),
            {}});
}

void SdkExchange::Finish(SdkAnswer answer) {
    if (done_) return;
    done_ = true;
    deadline_.stop();
    socket_->abort();
    emit finished(answer);
}
