// What the worker measured about one engine step, and the ring that carries these records from
// the worker to the user-interface thread. One writer (the worker) and one reader (the core's
// once-a-second health pass): the two positions are atomics, so neither side ever waits for the
// other and the worker never allocates.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <utility>

struct StepRecord {
    int64_t tickNs = 0;      // how long Tick took
    int64_t periodNs = 0;    // from the previous step's Tick to this one's; 0 for the first step
    int64_t lockWaitNs = 0;  // from asking for engineLock to getting it
    bool overrun = false;    // the step left no pause before the next
};

class StepRing {
public:
    // Thirty steps a second: eight seconds of slack before a stalled reader loses records.
    static constexpr std::size_t kCapacity = 256;

    // Worker only. A full ring drops the record and counts it, never blocks.
    void Push(const StepRecord& record) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) == kCapacity) {
            lost_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        slots_[head % kCapacity] = record;
        head_.store(head + 1, std::memory_order_release);
    }

    // Reader only: hands every waiting record to `take`, oldest first. Answers how many.
    template <typename Take>
    std::size_t Drain(Take&& take) {
        const std::size_t head = head_.load(std::memory_order_acquire);
        std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t count = head - tail;
        for (; tail != head; ++tail) take(slots_[tail % kCapacity]);
        tail_.store(tail, std::memory_order_release);
        return count;
    }

    // Records dropped on a full ring since the last call.
    uint64_t TakeLost() { return lost_.exchange(0, std::memory_order_relaxed); }

private:
    static_assert((kCapacity & (kCapacity - 1)) == 0, "positions wrap cleanly");
    std::array<StepRecord, kCapacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
    alignas(64) std::atomic<uint64_t> lost_{0};
};

// The worker's stopwatch for one step at a time: four clock readings, one record.
class StepMeter {
public:
    using Clock = std::chrono::steady_clock;

    explicit StepMeter(StepRing& ring) : ring_(ring) {}

    void AskLock() { asked_ = Now(); }
    void LockTaken() { taken_ = Now(); }
    void TickStarts() { tickStart_ = Now(); }
    void TickEnds() {
        tickEnd_ = Now();
        ticked_ = true;
    }
    // After the pause was decided; a step that did not reach Tick records nothing.
    void Finish(bool overrun) {
        if (!std::exchange(ticked_, false)) return;
        ring_.Push({tickEnd_ - tickStart_, hasLast_ ? tickStart_ - lastTickStart_ : 0,
                    taken_ - asked_, overrun});
        lastTickStart_ = tickStart_;
        hasLast_ = true;
    }

private:
    static int64_t Now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    }

    StepRing& ring_;
    int64_t asked_ = 0, taken_ = 0, tickStart_ = 0, tickEnd_ = 0, lastTickStart_ = 0;
    bool ticked_ = false, hasLast_ = false;
};
