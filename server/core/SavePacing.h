// When the configuration is written after a change: at the end of two seconds from the first
// change not yet saved, with every change made meanwhile, so a burst is one write and none is
// lost; hence never more than one write every two seconds.
#pragma once

#include <cstdint>
#include <optional>

class SavePacing {
public:
    static constexpr int64_t kPeriodMs = 2000;

    void Changed(int64_t nowMs) {
        if (!dueAtMs_) dueAtMs_ = nowMs + kPeriodMs;
    }
    bool Pending() const { return dueAtMs_.has_value(); }
    bool Due(int64_t nowMs) const { return dueAtMs_ && nowMs >= *dueAtMs_; }
    // A write, paced or not, covers every change made before it.
    void Saved() { dueAtMs_.reset(); }

private:
    std::optional<int64_t> dueAtMs_;
};
