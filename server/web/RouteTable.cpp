#include "RouteTable.h"

#include "ApiAnswers.h"

RouteTable::Match RouteTable::Find(std::string_view method, std::string_view path) const {
    const bool get = method == "GET" || method == "HEAD";
    const bool post = method == "POST";
    std::string allow;
    for (const Route& route : routes_) {
        if (route.path != path) continue;
        const bool takesGet = route.method == Route::Method::Get;
        if ((takesGet && get) || (!takesGet && post)) return {&route, std::nullopt};
        allow += allow.empty() ? "" : ", ";
        allow += takesGet ? "GET, HEAD" : "POST";
    }
    if (allow.empty()) return {nullptr, api::Error(404, "no such path")};
    ApiResponse refusal =
        api::Error(405, QStringLiteral("use %1 here").arg(QString::fromStdString(allow)));
    refusal.headers.emplace_back("Allow", allow);
    return {nullptr, std::move(refusal)};
}
