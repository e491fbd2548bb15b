// The Agones SDK sidecar's REST interface on localhost: calls go out one at a time, in the order
// they were made, so Ready never overtakes the labels before it and Shutdown comes last. The
// sidecar may start after the server, so a call that must get through is tried again, with a
// growing pause, for as long as nothing answers; a call that may be lost (a health ping) is not.
//
// Interface: Send() queues a call; its `done` runs with the answer, or with the last failure of a
// call that is not tried again. DropQueued() forgets the calls not yet on the wire (their `done`
// never runs), so that a last call goes next. `idle` comes when nothing is queued or on the wire.
// Notices (cannot reach the sidecar, reached again) come as `notice`, one per change.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "SdkExchange.h"

// The port of the sidecar's REST interface: AGONES_SDK_HTTP_PORT when set (Agones sets it in
// every game server container), else the SDK's default when `asked` (--agones), else none.
struct AgonesPortChoice {
    std::optional<uint16_t> port;
    std::string error;  // a value that is not a port 1 to 65535
};
AgonesPortChoice ChooseAgonesPort(bool asked, const char* environmentValue);

struct SdkTiming {
    std::chrono::milliseconds exchange{2000};  // a whole exchange, connecting included
    std::chrono::milliseconds firstPause{250};
    std::chrono::milliseconds longestPause{4000};
};

class AgonesSdk : public QObject {
    Q_OBJECT

public:
    static constexpr uint16_t kDefaultPort = 9358;

    using Timing = SdkTiming;
    enum class Delivery { Once, UntilAnswered };
    using Done = std::function<void(const SdkAnswer&)>;

    explicit AgonesSdk(uint16_t port, Timing timing = {}, QObject* parent = nullptr);

    uint16_t Port() const { return port_; }
    void Send(std::string method, std::string path, std::string body, Delivery delivery,
              Done done = {});
    void DropQueued();
    bool Idle() const { return !onWire_ && queue_.empty(); }

signals:
    void notice(bool warning, const QString& text);
    void idle();

private:
    struct Call {
        std::string method, path, body;
        Delivery delivery;
        Done done;
    };

    void Next();
    void Answered(const SdkAnswer& answer);

    uint16_t port_;
    Timing timing_;
    std::deque<Call> queue_;  // the front is on the wire, or waiting to be tried again
    bool onWire_ = false;
    QTimer pause_;
    std::chrono::milliseconds nextPause_;
    int failedTries_ = 0;  // in a row, of calls that found nobody
};
