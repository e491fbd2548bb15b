// The way to the one bound engine for the parts of the core that are not its session: the
// settings store and the world scan. Every call runs under the engine lock; a caller must not hold
// it already.
#pragma once

#include <functional>

class ServerEngine;

class EngineAccess {
public:
    virtual bool IsBound() const = 0;
    // Runs `call` on the engine under the lock; false, without calling, when none is bound.
    virtual bool WithEngine(const std::function<void(ServerEngine&)>& call) = 0;

protected:
    ~EngineAccess() = default;
};
