#include "EngineLink.h"

EngineLink& EngineLink::Instance() {
    static EngineLink link;
    return link;
}

void EngineLink::Bind(ServerEngine* engine, std::mutex* engineLock) {
    engine_ = engine;
    engineLock_ = engine ? engineLock : nullptr;
}
