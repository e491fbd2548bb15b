// GET and POST /api/tokens and POST /api/tokens/remove: read-only tokens for /metrics, and the
// check of a Bearer token. Wrong tokens are counted per address apart from wrong passwords, so a
// monitor holding a revoked token never locks the operators out.
#pragma once

#include <QJsonObject>
#include <functional>
#include <optional>

#include "LoginGuard.h"
#include "RouteTable.h"
#include "TokenStore.h"

class WebAudit;

class TokensController {
public:
    using Clock = std::function<int64_t()>;  // milliseconds of a monotonic clock

    TokensController(TokenStore& tokens, WebAudit& audit, Clock clock)
        : tokens_(tokens), audit_(audit), clock_(std::move(clock)) {}
    void Register(RouteTable& routes);

    // Nothing when the request's Bearer token is one of ours, else the refusal.
    std::optional<ApiResponse> CheckBearer(const ApiRequest& request);

private:
    ApiResponse Make(const ApiCall& call, const QJsonObject& body);
    ApiResponse Remove(const ApiCall& call, const QJsonObject& body);

    TokenStore& tokens_;
    WebAudit& audit_;
    Clock clock_;
    LoginGuard guard_;
};
