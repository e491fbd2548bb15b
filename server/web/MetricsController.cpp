#include "MetricsController.h"

#include "AuditLog.h"
#include "ServerCore.h"
#include "ServerMetrics.h"
#include "SessionController.h"
#include "TokensController.h"

void MetricsController::Register(RouteTable& routes) {
    // Open to anyone in the table: a monitor sends a token where a browser sends a session.
    routes.Add({"/metrics", Route::Method::Get, Route::Access::Anyone, Role::Viewer,
                [this](const ApiCall& call) { return Metrics(call); }});
}

ApiResponse MetricsController::Metrics(const ApiCall& call) {
    if (!call.session)
        if (std::optional<ApiResponse> refused = tokens_.CheckBearer(call.request)) return *refused;
    MetricsSnapshot metrics = core_.Metrics();
    metrics.webLogins = sessions_.LoginCounts();
    metrics.auditWriteFailures = audit_.WriteFailures();
    ApiResponse response;
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    response.body = PrometheusText(metrics);
    return response;
}
