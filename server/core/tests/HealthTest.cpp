#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <sstream>

#include "HealthLog.h"
#include "HealthSample.h"
#include "ServerMetrics.h"

namespace {

constexpr int64_t kMs = 1'000'000;

StepRecord Step(int64_t tickMs, int64_t periodMs, int64_t lockWaitMs = 0, bool overrun = false) {
    return {tickMs * kMs, periodMs * kMs, lockWaitMs * kMs, overrun};
}

TEST(HealthSummary, PercentilesAreExactByNearestRank) {
    std::vector<int64_t> hundred(100);
    std::iota(hundred.begin(), hundred.end(), 1);
    std::shuffle(hundred.begin(), hundred.end(), std::mt19937(3));
    const Spread s = SpreadOf(hundred);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.median, 50);
    EXPECT_EQ(s.p99, 99);
    EXPECT_EQ(s.max, 100);

    // Under a hundred values the 99th percentile is the largest: one slow step in 30 shows.
    const Spread thirty = SpreadOf({4, 1, 3, 2, 50, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                    1, 1, 1, 1, 1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(thirty.median, 1);
    EXPECT_EQ(thirty.p99, 50);
    EXPECT_EQ(SpreadOf({4, 2, 3, 1}).median, 2);
    EXPECT_EQ(SpreadOf({7}).p99, 7);
    EXPECT_EQ(SpreadOf({}).max, 0);
    EXPECT_EQ(NearestRank({10, 20, 30}, 100), 30);
    EXPECT_EQ(NearestRank({10, 20, 30}, 1), 10);
}

TEST(HealthSummary, StepsGiveRateDeviationOverrunsAndLockWait) {
    // The first step after the start has no period: it counts as a step, not in the rate.
    const HealthSample s = SummariseSteps(
        {Step(1, 0), Step(2, 33, 5), Step(40, 40, 0, true), Step(3, 26), Step(1, 33, 1)});
    EXPECT_EQ(s.steps, 5);
    EXPECT_DOUBLE_EQ(s.updateRate, 4 * 1000.0 / (33 + 40 + 26 + 33));
    EXPECT_EQ(s.tickNs.min, 1 * kMs);
    EXPECT_EQ(s.tickNs.median, 2 * kMs);
    EXPECT_EQ(s.tickNs.max, 40 * kMs);
    EXPECT_EQ(s.deviationNs.min, 0);
    EXPECT_EQ(s.deviationNs.median, 0);
    EXPECT_EQ(s.deviationNs.max, 7 * kMs);  // 26 ms and 40 ms are both 7 ms off
    EXPECT_EQ(s.lockWaitMaxNs, 5 * kMs);
    EXPECT_EQ(s.overruns, 1);

    const HealthSample none = SummariseSteps({});
    EXPECT_EQ(none.steps, 0);
    EXPECT_EQ(none.updateRate, 0.0);
}

TEST(HealthHistory, KeepsTheLastSamplesOldestFirstAcrossTheWrap) {
    HealthHistory history;
    for (int i = 0; i < 1000; ++i) {
        HealthSample sample;
        sample.steps = i;
        history.Add(sample);
    }
    ASSERT_EQ(history.Size(), 600u);
    EXPECT_EQ(history.Total(), 1000u);
    const std::vector<HealthSample> samples = history.Samples();
    ASSERT_EQ(samples.size(), 600u);
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i].steps, 400 + int(i));
    EXPECT_EQ(history.At(599).steps, 999);
}

TEST(StepRing, AFullRingDropsAndCountsWhatItCannotHoldThenDrainsInOrder) {
    StepRing ring;
    for (std::size_t i = 0; i < StepRing::kCapacity + 5; ++i)
        ring.Push({static_cast<int64_t>(i), 0, 0, false});
    EXPECT_EQ(ring.TakeLost(), 5u);
    EXPECT_EQ(ring.TakeLost(), 0u);
    int64_t expected = 0;
    EXPECT_EQ(ring.Drain([&](const StepRecord& r) { EXPECT_EQ(r.tickNs, expected++); }),
              StepRing::kCapacity);
    ring.Push({77, 0, 0, false});
    ring.Drain([](const StepRecord& r) { EXPECT_EQ(r.tickNs, 77); });
    EXPECT_EQ(ring.Drain([](const StepRecord&) { ADD_FAILURE(); }), 0u);
}

TEST(Metrics, TickHistogramBucketsAreCumulativeWithTheBoundInclusive) {
    TickHistogram histogram;
    histogram.Add(1 * kMs);    // exactly on the first bound
    histogram.Add(33 * kMs);   // exactly on the period
    histogram.Add(300 * kMs);  // past every bound
    const auto& counts = histogram.Cumulative();
    EXPECT_EQ(counts[0], 1u);
    EXPECT_EQ(counts[4], 1u);  // 0.02
    EXPECT_EQ(counts[5], 2u);  // 0.033
    EXPECT_EQ(counts[8], 2u);  // 0.25
    EXPECT_EQ(counts[9], 3u);  // +Inf
    EXPECT_DOUBLE_EQ(histogram.SumSeconds(), 0.334);
}

TEST(Metrics, PrometheusTextNamesEveryFamilyOnceInBaseUnits) {
    MetricsSnapshot m;
    m.ticks.Add(2 * kMs);
    m.ticks.Add(60 * kMs);
    m.overruns = 1;
    m.updateRate = 29.5;
    m.sendRate = 1234.5;
    m.commandsTerminal = 3;
    m.webLogins = {{"ok", 2}, {"wrong_password", 1}};
    m.startTimeSeconds = 1700000000.25;
    const std::string text = PrometheusText(m);

    for (const char* line : {
             "# TYPE tarnwick_tick_duration_seconds histogram\n",
             "tarnwick_tick_duration_seconds_bucket{le=\"0.0025\"} 1\n",
             "tarnwick_tick_duration_seconds_bucket{le=\"0.05\"} 1\n",
             "tarnwick_tick_duration_seconds_bucket{le=\"0.1\"} 2\n",
             "tarnwick_tick_duration_seconds_bucket{le=\"+Inf\"} 2\n",
             "tarnwick_tick_duration_seconds_sum 0.062\n",
             "tarnwick_tick_duration_seconds_count 2\n",
             "# TYPE tarnwick_tick_overruns_total counter\n",
             "tarnwick_update_rate_hertz 29.5\n",
             "tarnwick_send_bytes_per_second 1234.5\n",
             "tarnwick_console_commands_total{source=\"terminal\"} 3\n",
             "tarnwick_web_logins_total{result=\"ok\"} 2\n",
             "tarnwick_web_logins_total{result=\"wrong_password\"} 1\n",
             "tarnwick_start_time_seconds 1700000000.25\n",
             "tarnwick_worker_up 0\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Every family has its help and type.
    std::size_t helps = 0, types = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        helps += line.starts_with("# HELP ");
        types += line.starts_with("# TYPE ");
    }
    EXPECT_EQ(helps, types);
    EXPECT_EQ(helps, 14u);
    EXPECT_EQ(text.back(), '\n');
}

TEST(HealthLog, OneLineEveryMinuteAndAtOnceWhenTheServerTurnsUnhealthy) {
    HealthSample good;
    good.updateRate = 30.1;
    good.tickNs.max = 100 * kMs;  // a tick of exactly 100 ms is still fine
    HealthSample slowRate = good;
    slowRate.updateRate = 24.9;
    HealthSample longTick = good;
    longTick.tickNs.max = 100 * kMs + 1;

    HealthLogPacer pacer;
    for (int i = 1; i < 60; ++i) ASSERT_FALSE(pacer.ShouldLog(good)) << i;
    EXPECT_TRUE(pacer.ShouldLog(good));
    EXPECT_FALSE(pacer.ShouldLog(good));
    EXPECT_TRUE(pacer.ShouldLog(slowRate));
    // Still unhealthy: the minute rule alone, counted from the last line.
    for (int i = 1; i < 60; ++i) ASSERT_FALSE(pacer.ShouldLog(slowRate)) << i;
    EXPECT_TRUE(pacer.ShouldLog(slowRate));
    EXPECT_FALSE(pacer.ShouldLog(good));
    EXPECT_TRUE(pacer.ShouldLog(longTick));
    EXPECT_FALSE(pacer.ShouldLog(good));
    EXPECT_TRUE(pacer.ShouldLog(longTick));

    HealthSample s;
    s.updateRate = 29.96;
    s.tickNs = {0, 0, 1'204'000, 3'400'000};
    s.deviationNs.p99 = 800'000;
    s.lockWaitMaxNs = 50'000;
    s.players = 8;
    s.sendRate = 1234.4f;
    s.receiveRate = 567;
    EXPECT_EQ(FormatHealthLine(s),
              "health: 30.0 steps/s, tick p99 1.20 ms max 3.40 ms, period deviation p99 0.80 ms, "
              "lock wait max 0.05 ms, 0 overruns, 8 players, send 1234 B/s, receive 567 B/s");
}

}  // namespace
