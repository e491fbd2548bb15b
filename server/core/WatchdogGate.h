// Whether a watchdog may be told that the server is alive: only when everything it vouches for has
// moved since the last ping, the worker (its step count) and the user-interface thread's loop (a
// counter its status pass advances). A worker that has not stepped for the whole stall limit while
// the engine should be running asks for the manager's action at once. The service manager's
// watchdog and the Agones health pings each keep a gate of their own.
//
// Interface: make it when the worker starts (the counters then are its starting point), with the
// manager's own limit as the stall limit; call Check at the ping interval and send what it
// answers. Plain values in, a verdict out: no clock or counter of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// What a front end reads of the server's movement for a gate.
struct Liveness {
    uint64_t workerSteps = 0;
    uint64_t loopTurns = 0;
    bool engineShouldRun = false;  // running, and Tick has not answered 0
};

class WatchdogGate {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { Wait, Ping, Trigger };

    explicit WatchdogGate(std::chrono::microseconds stallLimit, uint64_t workerSteps = 0,
                          uint64_t loopTurns = 0)
        : stallLimit_(stallLimit),
          pingedSteps_(workerSteps),
          pingedTurns_(loopTurns),
          seenSteps_(workerSteps) {}

    // While the engine should not run (starting, stopped) nothing is pinged and the stall
    // limit starts again.
    Verdict Check(Clock::time_point now, uint64_t workerSteps, uint64_t loopTurns,
                  bool engineShouldRun);
    Verdict Check(Clock::time_point now, const Liveness& seen) {
        return Check(now, seen.workerSteps, seen.loopTurns, seen.engineShouldRun);
    }

private:
    std::chrono::microseconds stallLimit_;
    uint64_t pingedSteps_, pingedTurns_;  // at the last ping
    uint64_t seenSteps_;                  // at the last check
    std::optional<Clock::time_point> stepsMoved_;
};
