// Where the core reads the time: the steady clock paces the saves of the configuration, the
// calendar dates the bans. Tests hand the core a clock of their own, so none of them waits.
#pragma once

#include <chrono>
#include <cstdint>

class CoreClock {
public:
    virtual ~CoreClock() = default;
    virtual int64_t SteadyMs() const = 0;
    virtual int64_t EpochSeconds() const = 0;

    // The machine's clocks.
    static const CoreClock& System();
};

class SystemCoreClock final : public CoreClock {
public:
    int64_t SteadyMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    int64_t EpochSeconds() const override {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
};

inline const CoreClock& CoreClock::System() {
    static const SystemCoreClock clock;
    return clock;
}
