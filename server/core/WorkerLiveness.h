// Whether the worker moves, for every thread: the health answers, the watchdogs and the status
// read it without the engine lock and without the user-interface thread, so a hung engine can
// still be reported (and a slow one never delays the answer). The worker writes it; atomics only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class WorkerLiveness {
public:
    // A Tick running this long, or a worker that has not finished a step for this long, is
    // taken for hung; the simulated engine's slowest deliberate step is 1 s.
    static constexpr int64_t kStalledAfterMs = 2000;

    static int64_t NowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // The session, around the worker's life.
    void Started(int64_t nowMs) {
        lastStepEndMs_.store(nowMs, std::memory_order_relaxed);
        tickStartMs_.store(0, std::memory_order_relaxed);
        running_.store(true, std::memory_order_release);
    }
    void Stopped() { running_.store(false, std::memory_order_release); }
    // The worker, around each Tick.
    void TickStarts(int64_t nowMs) { tickStartMs_.store(nowMs, std::memory_order_release); }
    void TickEnds(int64_t nowMs) {
        lastStepEndMs_.store(nowMs, std::memory_order_relaxed);
        tickStartMs_.store(0, std::memory_order_release);
    }

    bool Running() const { return running_.load(std::memory_order_acquire); }
    // How long the worker has been held up: inside one Tick, or since its last step ended; 0 when
    // it does not run.
    int64_t StalledMs(int64_t nowMs) const {
        if (!Running()) return 0;
        const int64_t tickStart = tickStartMs_.load(std::memory_order_acquire);
        const int64_t since = tickStart != 0 ? tickStart : lastStepEndMs_.load(std::memory_order_relaxed);
        return nowMs > since ? nowMs - since : 0;
    }
    // Inside a Tick that has not returned for kStalledAfterMs.
    bool TickHung(int64_t nowMs) const {
        const int64_t tickStart = tickStartMs_.load(std::memory_order_acquire);
        return Running() && tickStart != 0 && nowMs - tickStart >= kStalledAfterMs;
    }
    // Runs and moves: what /healthz answers 200 for.
    bool Healthy(int64_t nowMs) const { return Running() && StalledMs(nowMs) < kStalledAfterMs; }

private:
    std::atomic<bool> running_{false};
    std::atomic<int64_t> tickStartMs_{0};  // 0 while no Tick runs
    std::atomic<int64_t> lastStepEndMs_{0};
};
