// The server's health, one sample a second: the summary of that second's engine steps with the
// players and traffic the status pass saw, and the last ten minutes of samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "StepRing.h"

inline constexpr int64_t kEnginePeriodNs = 33'000'000;

// Exact order statistics of one second's values, by the nearest-rank rule: the p-th percentile
// is the smallest value with at least p per cent of the values at or below it, so every figure
// is a value that really occurred. All zero over no values.
struct Spread {
    int64_t min = 0, median = 0, p99 = 0, max = 0;
};

struct HealthSample {
    int64_t timeMs = 0;     // wall clock when the sample was taken, milliseconds since 1970
    int steps = 0;          // engine steps recorded in this second
    int lostSteps = 0;      // steps the worker could not record (the reader was stalled)
    double updateRate = 0;  // steps per second over this second's periods; 0 without steps
    Spread tickNs;          // Tick durations
    Spread deviationNs;     // |period - 33 ms|, over the steps that have a period
    int64_t lockWaitMaxNs = 0;
    int overruns = 0;
    int players = 0;
    double sendRate = 0, receiveRate = 0;  // bytes per second
};

// The nearest-rank percentile (0 < percent <= 100) of values sorted ascending; 0 when empty.
int64_t NearestRank(const std::vector<int64_t>& sorted, int percent);
Spread SpreadOf(std::vector<int64_t> values);

// The step part of a sample; the caller adds the time, the players and the traffic.
HealthSample SummariseSteps(const std::vector<StepRecord>& steps);

// The last `capacity` samples in a fixed ring.
class HealthHistory {
public:
    static constexpr std::size_t kCapacity = 600;  // ten minutes

    explicit HealthHistory(std::size_t capacity = kCapacity);

    void Add(const HealthSample& sample);
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return slots_.size(); }
    uint64_t Total() const { return total_; }  // samples ever added
    // index 0 is the oldest kept.
    const HealthSample& At(std::size_t index) const;
    std::vector<HealthSample> Samples() const;  // oldest first

private:
    std::vector<HealthSample> slots_;
    std::size_t next_ = 0, size_ = 0;
    uint64_t total_ = 0;
};
