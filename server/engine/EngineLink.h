// The process-wide way to the one bound engine, for the parts that are not the main window: the
// settings store, the world scan and the change-map command. The binding sets it and the teardown
// clears it. When the window has handed over its engine lock, every call runs holding it; a
// caller must not hold the lock already.
#pragma once

#include <functional>
#include <mutex>

#include "ServerEngine.h"

class EngineLink {
public:
    static EngineLink& Instance();

    void Bind(ServerEngine* engine, std::mutex* engineLock = nullptr);
    void Unbind() { Bind(nullptr, nullptr); }
    bool IsBound() const { return engine_ != nullptr; }

    // Runs `call` on the engine, under the lock when there is one; false when none is bound.
    template <typename F>
    bool WithEngine(F&& call) {
        if (!engine_) return false;
        std::unique_lock<std::mutex> guard;
        if (engineLock_) guard = std::unique_lock(*engineLock_);
        call(*engine_);
        return true;
    }

private:
    ServerEngine* engine_ = nullptr;
    std::mutex* engineLock_ = nullptr;
};
