#include "HealthController.h"

#include <QDateTime>
#include <QObject>

#include "ApiAnswers.h"
#include "AuditLog.h"
#include "WebJson.h"

HealthController::HealthController(ServerCore& core, const AuditLog& audit)
    : core_(core), audit_(audit) {
    connections_ = {
        QObject::connect(&core, &ServerCore::serverStarted, [this] { Refresh(); }),
        QObject::connect(&core, &ServerCore::healthSampled, [this] { Refresh(); }),
        QObject::connect(&core, &ServerCore::runEnded, [this] { Refresh(); }),
    };
    Refresh();
}

HealthController::~HealthController() {
    for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
}

void HealthController::Register(RouteTable& routes) {
    routes.Add({"/healthz", Route::Method::Get, Route::Access::Anyone, Role::Viewer,
                [this](const ApiCall&) {
                    const bool ticks = ticking_ && core_.IsWorkerRunning();
                    return api::Json(ticks ? 200 : 503, QJsonObject{{"ok", ticks}});
                },
                Route::Thread::Any});
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

void HealthController::Refresh() {
    if (core_.Status().state != ServerState::Running || !core_.IsWorkerRunning()) {
        ticking_ = false;
        return;
    }
    // A worker that runs but has not stepped for the last whole second is stuck.
    const std::vector<HealthSample> samples = core_.Health();
    ticking_ = samples.empty() || samples.back().steps > 0 ||
               QDateTime::currentMSecsSinceEpoch() - samples.back().timeMs > 3000;
}
