#include "AgonesSdk.h"

#include <algorithm>
#include <charconv>
#include <cstring>

AgonesPortChoice ChooseAgonesPort(bool asked, const char* environmentValue) {
    // An empty value counts as unset, as a shell's `AGONES_SDK_HTTP_PORT=` means.
    if (environmentValue == nullptr || *environmentValue == '\0')
        return {asked ? std::optional<uint16_t>(AgonesSdk::kDefaultPort) : std::nullopt, {}};
    const char* end = environmentValue + std::strlen(environmentValue);
    unsigned port = 0;
    const auto [stop, error] = std::from_chars(environmentValue, end, port);
    if (error != std::errc() || stop != end || port == 0 || port > 65535) {
        std::string shown(environmentValue, std::min<std::size_t>(end - environmentValue, 16));
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                c = '?';
        return {std::nullopt,
                "AGONES_SDK_HTTP_PORT is not a port from 1 to 65535: \"" + shown + "\""};
    }
    return {static_cast<uint16_t>(port), {}};
}

AgonesSdk::AgonesSdk(uint16_t port, Timing timing, QObject* parent)
    : QObject(parent), port_(port), timing_(timing), nextPause_(timing.firstPause) {
    pause_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, &AgonesSdk::Next);
}

void AgonesSdk::Send(std::string method, std::string path, std::string body, Delivery delivery,
                     Done done) {
    queue_.push_back(
        {std::move(method), std::move(path), std::move(body), delivery, std::move(done)});
    if (!onWire_ && !pause_.isActive()) Next();
}

void AgonesSdk::DropQueued() {
    if (onWire_) {
        queue_.erase(queue_.begin() + 1, queue_.end());
    } else {
        pause_.stop();  // a call waiting to be tried again goes too
        queue_.clear();
    }
}

void AgonesSdk::Next() {
    if (queue_.empty()) {
        emit idle();
        return;
    }
    const Call& call = queue_.front();
    onWire_ = true;
    auto* exchange =
        new SdkExchange(port_, call.method, call.path, call.body, timing_.exchange, this);
    connect(exchange, &SdkExchange::finished, this, [this, exchange](const SdkAnswer& answer) {
        exchange->deleteLater();
        onWire_ = false;
        Answered(answer);
    });
    exchange->Start();
}

void AgonesSdk::Answered(const SdkAnswer& answer) {
    Call call = std::move(queue_.front());
    // 503 is the sidecar's own "not yet": it answers before it can serve.
    const bool nobody = answer.outcome == SdkAnswer::Outcome::Unreachable ||
                        (answer.outcome == SdkAnswer::Outcome::Answered && answer.status == 503);
    if (nobody) {
        if (failedTries_++ == 0)
            emit notice(
                true, QStringLiteral("Agones: the SDK sidecar at localhost:%1 cannot be "
                                     "reached (%2); trying again")
                          .arg(port_)
                          .arg(QString::fromStdString(answer.status == 503 ? std::string("HTTP 503")
                                                                           : answer.error)));
        if (call.delivery == Delivery::UntilAnswered) {
            queue_.front() = std::move(call);
            pause_.start(nextPause_);
            nextPause_ = std::min(nextPause_ * 2, timing_.longestPause);
            return;
        }
    } else if (failedTries_ > 0) {
        emit notice(false, QStringLiteral("Agones: the SDK sidecar answers (after %1 failed tries)")
                               .arg(failedTries_));
        failedTries_ = 0;
        nextPause_ = timing_.firstPause;
    }
    queue_.pop_front();
    if (call.done) call.done(answer);
    if (!onWire_ && !pause_.isActive()) Next();
}
