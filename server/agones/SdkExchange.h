// One HTTP/1.1 exchange with the Agones SDK sidecar on the loopback address: the request goes out
// on a connection of its own (Connection: close) and the answer is read with bounds on its header,
// its body and the whole exchange's time. Everything runs on the thread that starts it, through
// its event loop; nothing blocks.
//
// Interface: make one, connect `finished`, call Start() once. `finished` comes exactly once, after
// which the exchange may be deleted (deleteLater).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class QTcpSocket;

struct SdkAnswer {
    enum class Outcome {
        Answered,     // a whole HTTP answer, any status
        Unreachable,  // no answer: nothing listens, the connection broke, or the time ran out
        Broken,       // an answer that is not HTTP, or over the bounds
    };
    Outcome outcome = Outcome::Unreachable;
    int status = 0;     // Answered
    std::string body;   // Answered
    std::string error;  // otherwise: why, in a few words

    bool Ok() const { return outcome == Outcome::Answered && status == 200; }
};

class SdkExchange : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
    static constexpr std::size_t kMaxBodyBytes = 64 * 1024;

    // `body` is sent as JSON; a GET sends none.
    SdkExchange(uint16_t port, std::string method, std::string path, std::string body,
                std::chrono::milliseconds timeout, QObject* parent = nullptr);
    ~SdkExchange() override;

    void Start();

signals:
    void finished(const SdkAnswer& answer);

private:
    struct Reader;

    void Take();
    void Closed();
    void Finish(SdkAnswer answer);

    uint16_t port_;
    std::string request_;
    std::chrono::milliseconds timeout_;
    QTcpSocket* socket_;
    QTimer deadline_;
    std::unique_ptr<Reader> reader_;
    bool done_ = false;
};
