#include "HealthGraphModel.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

double Ms(int64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

double SlotWidth(const QRectF& plot) {
    return plot.width() / (HealthGraphModel::kSlots - 1);
}

}  // namespace

void HealthGraphModel::SetSamples(std::vector<HealthSample> samples) {
    if (samples.size() > static_cast<std::size_t>(kSlots))
        samples.erase(samples.begin(), samples.end() - kSlots);
    samples_ = std::move(samples);
}

double HealthGraphModel::NiceTop(double value, double atLeast) {
    if (!(value > atLeast) || !std::isfinite(value)) return atLeast;
    double decade = std::pow(10.0, std::floor(std::log10(value)));
    for (;; decade *= 10)
        for (double step : {1.0, 2.0, 5.0})
            if (step * decade >= value) return step * decade;
}

HealthGraphLayout HealthGraphModel::Layout(const QRectF& plot) const {
    HealthGraphLayout layout;
    double rate = 0, tick = 0, players = 0;
    for (const HealthSample& s : samples_) {
        rate = std::max(rate, s.updateRate);
        tick = std::max(tick, Ms(s.tickNs.p99));
        players = std::max(players, static_cast<double>(s.players));
    }
    // The goal of 30 steps a second sits three quarters up; a 33 ms tick fits under 50.
    layout.rateTop = NiceTop(rate, 40);
    layout.tickTopMs = NiceTop(tick, 5);
    layout.playersTop = NiceTop(players, 10);

    const auto y = [&plot](double value, double top) {
        return plot.bottom() - std::clamp(value / top, 0.0, 1.0) * plot.height();
    };
    const std::size_t n = samples_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const HealthSample& s = samples_[i];
        const double x = plot.right() - static_cast<double>(n - 1 - i) * SlotWidth(plot);
        layout.rate.emplace_back(x, y(s.updateRate, layout.rateTop));
        layout.tickP99.emplace_back(x, y(Ms(s.tickNs.p99), layout.tickTopMs));
        layout.players.emplace_back(x, y(s.players, layout.playersTop));
    }
    return layout;
}

std::optional<std::size_t> HealthGraphModel::SampleAt(const QRectF& plot, double x) const {
    if (samples_.empty() || plot.width() <= 0) return std::nullopt;
    const double fromRight = std::round((plot.right() - x) / SlotWidth(plot));
    if (fromRight < 0) return samples_.size() - 1;
    if (fromRight >= static_cast<double>(samples_.size())) return std::nullopt;
    return samples_.size() - 1 - static_cast<std::size_t>(fromRight);
}

QString HealthGraphModel::LegendText(const HealthSample& s) {
    return QStringLiteral(
               "Update rate %1/s   Tick p99 %2 ms (max %3 ms)   Players %4   Overruns %5")
        .arg(QString::number(s.updateRate, 'f', 1), QString::number(Ms(s.tickNs.p99), 'f', 2),
             QString::number(Ms(s.tickNs.max), 'f', 2), QString::number(s.players),
             QString::number(s.overruns));
}

QString HealthGraphModel::ToolTipText(const HealthSample& s) {
    return QStringLiteral(
               "%1\nUpdate rate %2/s over %3 steps\nTick p99 %4 ms, median %5 ms, max %6 ms\n"
               "Period deviation p99 %7 ms\nLock wait max %8 ms\nOverruns %9\nPlayers %10\n"
               "Send %11 B/s, receive %12 B/s")
        .arg(QDateTime::fromMSecsSinceEpoch(s.timeMs).toString(QStringLiteral("HH:mm:ss")),
             QString::number(s.updateRate, 'f', 1), QString::number(s.steps),
             QString::number(Ms(s.tickNs.p99), 'f', 2),
             QString::number(Ms(s.tickNs.median), 'f', 2),
             QString::number(Ms(s.tickNs.max), 'f', 2),
             QString::number(Ms(s.deviationNs.p99), 'f', 2),
             QString::number(Ms(s.lockWaitMaxNs), 'f', 2), QString::number(s.overruns))
        .arg(QString::number(s.players), QString::number(s.sendRate, 'f', 0),
             QString::number(s.receiveRate, 'f', 0));
}
