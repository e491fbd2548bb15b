#include "HealthSample.h"

#include <algorithm>
#include <cstdlib>

int64_t NearestRank(const std::vector<int64_t>& sorted, int percent) {
    if (sorted.empty()) return 0;
    // ceil(percent / 100 * n) in integers, as a 1-based rank.
    const std::size_t rank = (static_cast<std::size_t>(percent) * sorted.size() + 99) / 100;
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

Spread SpreadOf(std::vector<int64_t> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    return {values.front(), NearestRank(values, 50), NearestRank(values, 99), values.back()};
}

HealthSample SummariseSteps(const std::vector<StepRecord>& steps) {
    HealthSample sample;
    sample.steps = static_cast<int>(steps.size());
    std::vector<int64_t> ticks, deviations;
    ticks.reserve(steps.size());
    deviations.reserve(steps.size());
    int64_t periodSum = 0;
    for (const StepRecord& step : steps) {
        ticks.push_back(step.tickNs);
        if (step.periodNs > 0) {
            deviations.push_back(std::abs(step.periodNs - kEnginePeriodNs));
            periodSum += step.periodNs;
        }
        sample.lockWaitMaxNs = std::max(sample.lockWaitMaxNs, step.lockWaitNs);
        if (step.overrun) ++sample.overruns;
    }
    // From the periods themselves, so the reader's timer jitter does not show as a rate change.
    if (periodSum > 0)
        sample.updateRate =
            static_cast<double>(deviations.size()) * 1e9 / static_cast<double>(periodSum);
    sample.tickNs = SpreadOf(std::move(ticks));
    sample.deviationNs = SpreadOf(std::move(deviations));
    return sample;
}

HealthHistory::HealthHistory(std::size_t capacity) : slots_(std::max<std::size_t>(capacity, 1)) {}

void HealthHistory::Add(const HealthSample& sample) {
    slots_[next_] = sample;
    next_ = (next_ + 1) % slots_.size();
    size_ = std::min(size_ + 1, slots_.size());
    ++total_;
}

const HealthSample& HealthHistory::At(std::size_t index) const {
    const std::size_t oldest = (next_ + slots_.size() - size_) % slots_.size();
    return slots_[(oldest + index) % slots_.size()];
}

std::vector<HealthSample> HealthHistory::Samples() const {
    std::vector<HealthSample> samples;
    samples.reserve(size_);
    for (std::size_t i = 0; i < size_; ++i) samples.push_back(At(i));
    return samples;
}
