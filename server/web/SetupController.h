// The first start without a password: POST /setup sets the owner password with the one-time token
// that the console alone was shown (the page at GET /setup reads it from the address's fragment,
// which no browser sends to a server). One token a run, of 128 random bits, good for 15 minutes
// and for one password, taken only from the addresses the web admin listens on, so that only
// someone on this machine, or tunnelled to it, can use it. User-interface thread.
#pragma once

#include <QJsonObject>
#include <cstdint>
#include <functional>
#include <string>

#include "RouteTable.h"

class ServerCore;
class SessionController;
class WebAudit;

class SetupController {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock
    static constexpr int64_t kLifeMs = 15 * 60'000;

    SetupController(ServerCore& core, SessionController& sessions, WebAudit& audit, Clock clock)
        : core_(core), sessions_(sessions), audit_(audit), clock_(std::move(clock)) {}
    void Register(RouteTable& routes);

    // Where the web admin listens: its page's URL and the address it is bound to.
    void SetListening(std::string url, std::string address) {
        url_ = std::move(url);
        address_ = std::move(address);
    }
    // The password is blank: the first time in this run, makes the token and tells the operator
    // on this machine's console (never the console history that web sessions read).
    void Offer();

private:
    ApiResponse Setup(const ApiCall& call, const QJsonObject& body);
    bool FromListeningAddress(const std::string& peer) const;

    ServerCore& core_;
    SessionController& sessions_;
    WebAudit& audit_;
    Clock clock_;
    std::string url_, address_;
    std::string token_;  // empty before the offer and after its use
    int64_t madeMs_ = 0;
    bool offered_ = false;
};
