#include "HealthController.h"

#include <QObject>

#include "ApiAnswers.h"
#include "AuditLog.h"
#include "WebJson.h"

HealthController::HealthController(ServerCore& core, const AuditLog& audit)
    : core_(core), audit_(audit), running_(core.Status().state == ServerState::Running) {
    connections_ = {
        QObject::connect(&core, &ServerCore::serverStarted, [this] { running_ = true; }),
        QObject::connect(&core, &ServerCore::runEnded, [this] { running_ = false; }),
    };
}

HealthController::~HealthController() {
    for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
}

void HealthController::Register(RouteTable& routes) {
    routes.Add({"/healthz", Route::Method::Get, Route::Access::Anyone, Role::Viewer,
                [this](const ApiCall&) { return Healthz(); }, Route::Thread::Any});
    routes.Add({"/api/health", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) {
                    QJsonArray samples = web_json::HealthSamples(core_.Health());
                    if (!samples.isEmpty()) {
                        QJsonObject newest = samples.last().toObject();
                        newest.insert("auditWriteFailures",
                                      static_cast<double>(audit_.WriteFailures()));
                        samples.replace(samples.size() - 1, newest);
                    }
                    return api::Json(200, samples);
                }});
}

ApiResponse HealthController::Healthz() const {
    // The worker's own atomics: no engine lock, whatever the engine is doing.
    const int64_t now = WorkerLiveness::NowMs();
    const WorkerLiveness& liveness = core_.Liveness();
    if (running_ && liveness.Healthy(now)) return api::Json(200, QJsonObject{{"ok", true}});
    QString reason = QStringLiteral("the server is not running");
    if (liveness.Running())
        reason = QStringLiteral("the engine's worker has not moved for %1 s")
                     .arg(liveness.StalledMs(now) / 1000);
    return api::Json(503, QJsonObject{{"ok", false}, {"reason", reason}});
}
