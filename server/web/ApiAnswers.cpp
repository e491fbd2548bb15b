#include "ApiAnswers.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

#include "WebJson.h"

namespace api {

ApiResponse Json(int status, const QJsonValue& value) {
    ApiResponse response;
    response.status = status;
    response.body = web_json::Compact(value);
    return response;
}

ApiResponse Error(int status, const QString& message) {
    return Json(status, QJsonObject{{"error", message}});
}

ApiResponse Error(int status, const char* message) {
    return Error(status, QString::fromUtf8(message));
}

ApiResponse Ok() {
    return Json(200, QJsonObject{{"ok", true}});
}

std::optional<QJsonObject> ReadObject(const std::string& body, ApiResponse& error) {
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &parse);
    if (parse.error != QJsonParseError::NoError) {
        error =
            Error(400, QStringLiteral("the body is not valid JSON: %1").arg(parse.errorString()));
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = Error(400, "the body must be a JSON object");
        return std::nullopt;
    }
    return document.object();
}

Route::Handler WithObject(std::function<ApiResponse(const ApiCall&, const QJsonObject&)> handler) {
    return [handler = std::move(handler)](const ApiCall& call) {
        ApiResponse bad;
        const std::optional<QJsonObject> body = ReadObject(call.request.body, bad);
        return body ? handler(call, *body) : bad;
    };
}

std::optional<int32_t> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < -2147483648.0 ||
        number > 2147483647.0)
        return std::nullopt;
    return static_cast<int32_t>(number);
}

ApiResponse ActionAnswer(ActionResult result) {
    if (result == ActionResult::Done) return Ok();
    // A valid request the server's state turned down (a world whose file is gone, a rotation
    // edited since the requester saw it) is a conflict.
    const int status = result == ActionResult::NoServer                                      ? 503
                       : result == ActionResult::NotFound                                    ? 404
                       : result == ActionResult::Refused || result == ActionResult::Conflict ? 409
                                                                                             : 400;
    return Error(status, Describe(result));
}

ApiResponse OutcomeAnswer(const ActionOutcome& outcome, QJsonObject extra) {
    ApiResponse answer = ActionAnswer(outcome.result);
    if (outcome.result == ActionResult::Done || outcome.message.empty()) return answer;
    extra["error"] = QString::fromStdString(outcome.message);
    answer.body = web_json::Compact(extra);
    return answer;
}

Requester WebRequester(const WebSession& session) {
    return {Requester::Kind::Web, session.address, session.tag, session.account};
}

std::string AuditText(std::string_view text, std::size_t maxBytes) {
    std::string quoted(text.substr(0, maxBytes));
    for (char& c : quoted)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return quoted;
}

}  // namespace api
