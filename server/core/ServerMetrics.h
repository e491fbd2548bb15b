// The counters an outside monitor scrapes, and their Prometheus text form. The core fills a
// snapshot from what it measured; the web admin adds its login counts before formatting.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "StepRing.h"

// Tick durations in cumulative buckets, as Prometheus histograms are read.
class TickHistogram {
public:
    static constexpr std::array<double, 9> kBoundsSeconds{0.001, 0.0025, 0.005, 0.01, 0.02,
                                                          0.033, 0.05,   0.1,   0.25};
    // The same bounds in whole nanoseconds, so a tick of exactly 1 ms lands in the first bucket.
    static constexpr std::array<int64_t, 9> kBoundsNs{1'000'000,  2'500'000,   5'000'000,
                                                      10'000'000, 20'000'000,  33'000'000,
                                                      50'000'000, 100'000'000, 250'000'000};

    void Add(int64_t tickNs);
    // Steps at or under each bound, then all steps (+Inf).
    const std::array<uint64_t, kBoundsSeconds.size() + 1>& Cumulative() const { return counts_; }
    uint64_t Count() const { return counts_.back(); }
    double SumSeconds() const { return static_cast<double>(sumNs_) / 1e9; }

private:
    std::array<uint64_t, kBoundsSeconds.size() + 1> counts_{};
    int64_t sumNs_ = 0;
};

struct MetricsSnapshot {
    TickHistogram ticks;
    uint64_t overruns = 0;
    double updateRate = 0;  // steps per second
    int players = 0, maxPlayers = 0;
    double sendRate = 0, receiveRate = 0;  // bytes per second
    double lockWaitMaxSeconds = 0;         // over the last sample
    uint64_t commandsWindow = 0, commandsTerminal = 0, commandsWeb = 0;
    std::map<std::string, uint64_t> webLogins;  // result -> count, filled by the web admin
    uint64_t auditWriteFailures = 0;            // the web admin's audit log's failed writes
    double startTimeSeconds = 0;                // 0 when the server never ran
    bool workerHealthy = false;                 // the worker runs and moves (WorkerLiveness)
    double workerStalledSeconds = 0;            // how long it has been held up
};

// The exposition text: HELP and TYPE lines, tarnwick_* names in base units, numbers written the
// same in every locale.
std::string PrometheusText(const MetricsSnapshot& metrics);
