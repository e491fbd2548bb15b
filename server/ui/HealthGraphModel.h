// Where the health graph draws its samples, without a widget: one slot a second over the last
// ten minutes with the newest at the right edge, each line on a scale of its own.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include "HealthSample.h"

struct HealthGraphLayout {
    double rateTop = 0, tickTopMs = 0, playersTop = 0;  // the value at the top edge of each line
    std::vector<QPointF> rate, tickP99, players;        // oldest first, like the samples
};

class HealthGraphModel {
public:
    static constexpr int kSlots = 600;

    // Oldest first, as the core's history hands them; only the newest kSlots are kept.
    void SetSamples(std::vector<HealthSample> samples);
    const std::vector<HealthSample>& Samples() const { return samples_; }

    HealthGraphLayout Layout(const QRectF& plot) const;
    // The sample drawn nearest to x, or none when x lies left of the oldest.
    std::optional<std::size_t> SampleAt(const QRectF& plot, double x) const;

    // atLeast (positive) when the value fits under it, else the smallest 1, 2 or 5 times a power
    // of ten at or above the value.
    static double NiceTop(double value, double atLeast);
    // The legend's text for the newest sample; the tooltip's for one sample.
    static QString LegendText(const HealthSample& sample);
    static QString ToolTipText(const HealthSample& sample);

private:
    std::vector<HealthSample> samples_;
};
