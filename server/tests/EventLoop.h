// Runs the event loop until `done` holds or the time is up; answers `done()`.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

inline bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}
