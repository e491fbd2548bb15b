// The pieces every controller answers with: JSON answers and errors, and the reading of a
// change's JSON body. Reentrant: the page is answered on the network thread with them too.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ApiMessages.h"
#include "RouteTable.h"
#include "ServerCore.h"
#include "SessionStore.h"

namespace api {

ApiResponse Json(int status, const QJsonValue& value);
ApiResponse Error(int status, const QString& message);
ApiResponse Error(int status, const char* message);
ApiResponse Ok();

// The body of a change as a JSON object, or the 400 that says why not.
std::optional<QJsonObject> ReadObject(const std::string& body, ApiResponse& error);
// The handler of a change whose body must be a JSON object; any other body is answered 400.
Route::Handler WithObject(std::function<ApiResponse(const ApiCall&, const QJsonObject&)> handler);
// A whole number in the 32-bit range (JSON numbers are doubles), or nothing.
std::optional<int32_t> WholeNumber(const QJsonValue& value);

// An action's answer: 200, or the error that says what became of it.
ApiResponse ActionAnswer(ActionResult result);
// The same, with the core's words for a refusal when it has them, and `extra` fields beside.
ApiResponse OutcomeAnswer(const ActionOutcome& outcome, QJsonObject extra = {});
Requester WebRequester(const WebSession& session);
// What an operator sent, as an audit line may quote it: at most `maxBytes`, control bytes as '?'.
std::string AuditText(std::string_view text, std::size_t maxBytes = 64);

}  // namespace api
