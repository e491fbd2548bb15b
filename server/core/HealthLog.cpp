#include "HealthLog.h"

#include <QString>

namespace {
QString Ms(int64_t ns) {
    return QString::number(static_cast<double>(ns) / 1e6, 'f', 2);
}
}  // namespace

std::string FormatHealthLine(const HealthSample& s) {
    // QString::number formats the same in every locale.
    return QStringLiteral(
               "health: %1 steps/s, tick p99 %2 ms max %3 ms, period deviation p99 %4 ms, lock "
               "wait max %5 ms, %6 overruns, %7 players, send %8 B/s, receive %9 B/s")
        .arg(QString::number(s.updateRate, 'f', 1), Ms(s.tickNs.p99), Ms(s.tickNs.max),
             Ms(s.deviationNs.p99), Ms(s.lockWaitMaxNs), QString::number(s.overruns),
             QString::number(s.players), QString::number(s.sendRate, 'f', 0),
             QString::number(s.receiveRate, 'f', 0))
        .toStdString();
}

bool HealthLogPacer::Unhealthy(const HealthSample& sample) {
    return sample.updateRate < kLowRate || sample.tickNs.max > kLongTickNs;
}

bool HealthLogPacer::ShouldLog(const HealthSample& sample) {
    const bool unhealthy = Unhealthy(sample);
    const bool turned = unhealthy && !wasUnhealthy_;
    wasUnhealthy_ = unhealthy;
    if (turned || ++sinceLine_ >= kSamplesPerLine) {
        sinceLine_ = 0;
        return true;
    }
    return false;
}
