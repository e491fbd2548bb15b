#include "WatchdogGate.h"

WatchdogGate::Verdict WatchdogGate::Check(Clock::time_point now, uint64_t workerSteps,
                                          uint64_t loopTurns, bool engineShouldRun) {
    if (!engineShouldRun || workerSteps != seenSteps_ || !stepsMoved_) stepsMoved_ = now;
    seenSteps_ = workerSteps;
    if (!engineShouldRun) return Verdict::Wait;
    if (workerSteps != pingedSteps_ && loopTurns != pingedTurns_) {
        pingedSteps_ = workerSteps;
        pingedTurns_ = loopTurns;
        return Verdict::Ping;
    }
    return now - *stepsMoved_ >= stallLimit_ ? Verdict::Trigger : Verdict::Wait;
}
