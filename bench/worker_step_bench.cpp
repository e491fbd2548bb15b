// What the health measuring costs the worker: one engine step as the worker runs it (the lock,
// the update rate, Tick on an engine that does nothing, the pause decision), without and with
// the step meter's clock readings and its record in the ring. The measured step also drains the
// ring every 128 steps, as the core does once a second on the other thread, so the ring never
// takes its cheaper full path; that reader's share is counted against the measuring.
#include <benchmark/benchmark.h>

#include <mutex>

#include "MillisecondClock.h"
#include "StepRing.h"
#include "WorkerPacing.h"

namespace {

class IdleEngine {
public:
    virtual ~IdleEngine() = default;
    virtual int Tick(int zero);
};

int IdleEngine::Tick(int zero) {
    benchmark::ClobberMemory();
    return zero + 1;
}

struct Worker {
    std::mutex engineLock;
    IdleEngine idle;
    IdleEngine* engine = &idle;
    UpdateRateMeter rateMeter{MillisecondClock()};
    uint32_t start = MillisecondClock();
    StepRing ring;
    StepMeter meter{ring};

    template <bool kMeasured>
    void Step() {
        if constexpr (kMeasured) meter.AskLock();
        {
            std::lock_guard guard(engineLock);
            if constexpr (kMeasured) meter.LockTaken();
            const uint32_t now = MillisecondClock();
            benchmark::DoNotOptimize(rateMeter.RecordStep(now, MillisecondClock()));
            if constexpr (kMeasured) meter.TickStarts();
            benchmark::DoNotOptimize(engine->Tick(0));
            if constexpr (kMeasured) meter.TickEnds();
        }
        const uint32_t done = MillisecondClock();
        const uint32_t pause = PauseAfterStep(start, done);
        if constexpr (kMeasured) meter.Finish(pause == 0);
        start = NextPeriodStart(done, pause, MillisecondClock());
    }
};

void BM_WorkerStep(benchmark::State& state) {
    Worker worker;
    for (auto _ : state) worker.Step<false>();
}

void BM_WorkerStepMeasured(benchmark::State& state) {
    Worker worker;
    int64_t sink = 0;
    std::size_t steps = 0;
    for (auto _ : state) {
        worker.Step<true>();
        if (++steps % 128 == 0)
            worker.ring.Drain([&sink](const StepRecord& r) { sink += r.tickNs; });
    }
    benchmark::DoNotOptimize(sink);
    if (worker.ring.TakeLost() != 0) state.SkipWithError("the ring overflowed");
}

BENCHMARK(BM_WorkerStep);
BENCHMARK(BM_WorkerStepMeasured);

}  // namespace

BENCHMARK_MAIN();
