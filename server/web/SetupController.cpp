#include "SetupController.h"

#include <openssl/crypto.h>

#include "ApiAnswers.h"
#include "RequestRules.h"
#include "SecureRandom.h"
#include "ServerCore.h"
#include "SessionController.h"
#include "WebAudit.h"

void SetupController::Register(RouteTable& routes) {
    routes.Add({"/setup", Route::Method::Post, Route::Access::Anyone, Role::Viewer,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Setup(call, body);
                })});
}

void SetupController::Offer() {
    if (offered_ || url_.empty()) return;
    offered_ = true;
    token_ = RandomHex(16);
    madeMs_ = clock_();
    core_.TellOperator("Web admin: set the owner password within 15 minutes at " + url_ +
                       "setup#token=" + token_ +
                       " (this address works once, and only from this machine)");
}

bool SetupController::FromListeningAddress(const std::string& peer) const {
    const std::optional<std::string> from = CanonicalAddress(peer);
    const std::optional<std::string> listening = CanonicalAddress(address_);
    if (!from || !listening) return false;
    if (*listening == "0.0.0.0" || *listening == "::") return MachineAddresses().contains(*from);
    if (IsLoopback(*listening)) return IsLoopback(*from);
    return *from == *listening;
}

ApiResponse SetupController::Setup(const ApiCall& call, const QJsonObject& body) {
    const std::string& address = call.request.address;
    const auto refuse = [&](int status, const char* why) {
        audit_.Record({address, "", "setup", why, ""});
        return api::Error(status, why);
    };
    if (!FromListeningAddress(address))
        return refuse(403, "the setup address works only from the machine the server runs on");
    const QJsonValue token = body.value("token"), password = body.value("password");
    if (!token.isString() || !password.isString())
        return api::Error(400, "token and password must be strings");
    const std::string offered = token.toString().toStdString();
    const bool matches = !token_.empty() && offered.size() == token_.size() &&
                         CRYPTO_memcmp(offered.data(), token_.data(), token_.size()) == 0;
    if (!matches) return refuse(403, "this setup address is not the one the console shows");
    if (clock_() - madeMs_ >= kLifeMs) {
        token_.clear();
        return refuse(403, "this setup address has expired: restart the server for a new one");
    }
    sessions_.CheckPassword();
    if (sessions_.OffReason() != SessionController::BlankReason()) {
        token_.clear();
        return refuse(409, "the owner password is set already");
    }
    const ActionOutcome set =
        core_.SetOwnerPassword(password.toString(), {Requester::Kind::Web, address, "setup", {}});
    if (set.result != ActionResult::Done) {
        audit_.Record({address, "", "setup", "refused", set.message});
        return api::Error(400, QString::fromStdString(set.message));
    }
    token_.clear();
    audit_.Record({address, "", "setup", "owner password set", ""});
    sessions_.CheckPassword();
    return api::Ok();
}
