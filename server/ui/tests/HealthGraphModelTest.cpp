#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "HealthGraphModel.h"

namespace {

HealthSample Sample(double rate, double tickP99Ms, int players, int64_t timeMs = 0) {
    HealthSample s;
    s.updateRate = rate;
    s.tickNs.p99 = static_cast<int64_t>(tickP99Ms * 1e6);
    s.players = players;
    s.timeMs = timeMs;
    return s;
}

// What a reader of the graph relies on: time runs left to right a slot a second with the newest
// at the right edge, each line stays in the plot on a scale of its own with a higher value drawn
// higher, and the pointer finds the sample drawn under it.
TEST(HealthGraphModel, TimeRunsToTheRightEdgeAndEachLineKeepsItsOwnScaleInsideThePlot) {
    const QRectF plot(10, 5, 599, 100);
    HealthGraphModel model;
    model.SetSamples({Sample(30, 2.5, 8), Sample(20, 60, 0), Sample(45, 1, 12)});
    const HealthGraphLayout layout = model.Layout(plot);
    const double slot = plot.width() / (HealthGraphModel::kSlots - 1);
    for (const std::vector<QPointF>* line : {&layout.rate, &layout.tickP99, &layout.players}) {
        ASSERT_EQ(line->size(), 3u);
        // On a scale of its own, each line's highest sample here reaches above the middle.
        EXPECT_LT(std::ranges::min(*line, {}, &QPointF::y).y(), plot.center().y());
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ((*line)[i].x(), plot.right() - double(2 - i) * slot);
            EXPECT_TRUE(plot.contains((*line)[i])) << (*line)[i].x() << "," << (*line)[i].y();
            EXPECT_EQ(model.SampleAt(plot, (*line)[i].x()), std::optional<std::size_t>(i));
        }
    }
    EXPECT_LT(layout.rate[2].y(), layout.rate[0].y());
    EXPECT_LT(layout.rate[0].y(), layout.rate[1].y());
    EXPECT_LT(layout.tickP99[1].y(), layout.tickP99[0].y());
    EXPECT_EQ(layout.players[1].y(), plot.bottom());
    EXPECT_EQ(model.SampleAt(plot, plot.right() + 50), std::optional<std::size_t>(2));
    EXPECT_EQ(model.SampleAt(plot, plot.right() - 3 * slot), std::nullopt);

    // A spike on one line moves no other.
    HealthGraphModel spiked;
    spiked.SetSamples({Sample(30, 2.5, 8), Sample(20, 900, 0), Sample(45, 1, 12)});
    const HealthGraphLayout after = spiked.Layout(plot);
    EXPECT_EQ(after.rate, layout.rate);
    EXPECT_EQ(after.players, layout.players);
    EXPECT_TRUE(plot.contains(after.tickP99[1]));
    EXPECT_GT(after.tickP99[0].y(), layout.tickP99[0].y());

    for (const auto& [value, atLeast, top] : {std::tuple{0.0, 40.0, 40.0},
                                              {5.01, 5.0, 10.0},
                                              {2001.0, 10.0, 5000.0},
                                              {std::nan(""), 10.0, 10.0},
                                              {INFINITY, 10.0, 10.0}})
        EXPECT_EQ(HealthGraphModel::NiceTop(value, atLeast), top) << value;
}

TEST(HealthGraphModel, OnlyTheNewestTenMinutesAreKeptAndEachTooltipIsItsOwnSamples) {
    std::vector<HealthSample> hour;
    for (int i = 0; i < 3600; ++i)
        hour.push_back(Sample(i, 1, i % 16, 1'700'000'000'000 + i * 1000));
    HealthGraphModel model;
    model.SetSamples(hour);
    ASSERT_EQ(model.Samples().size(), std::size_t(HealthGraphModel::kSlots));
    EXPECT_EQ(model.Samples().front().updateRate, 3000);
    EXPECT_EQ(model.Samples().back().updateRate, 3599);

    const QRectF plot(0, 0, 599, 40);
    const HealthGraphLayout layout = model.Layout(plot);
    EXPECT_EQ(layout.rate.front().x(), plot.left());
    const std::optional<std::size_t> under = model.SampleAt(plot, layout.rate[123].x());
    ASSERT_EQ(under, std::optional<std::size_t>(123));
    const QString tip = HealthGraphModel::ToolTipText(model.Samples()[*under]);
    EXPECT_NE(tip, HealthGraphModel::ToolTipText(model.Samples()[124]));
    EXPECT_TRUE(tip.contains(QString::number(3123.0, 'f', 1))) << tip.toStdString();
}

}  // namespace
