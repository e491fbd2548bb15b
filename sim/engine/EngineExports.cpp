// The module's two exports. One engine lives at a time; the environment controls are read
// afresh for each one.
#include <cstring>
#include <mutex>

#include "ServerEngine.h"
#include "SimulatedEngine.h"

#define TARNWICK_EXPORT __attribute__((visibility("default")))

namespace {

std::mutex instanceMutex;
SimulatedEngine* instance = nullptr;

enum CreateResult : int32_t {
    kCreated = 0,
    kNoOutPointer = 1,
    kWrongVersion = 2,
    kWrongInterface = 3,
    kAlreadyCreated = 4,
    kFailureRequested = 5,
};

void TraceCreate(CallTrace& trace, int32_t version, const EngineInterfaceGuid* guid) {
    if (!trace.Enabled()) return;
    TraceArgs args;
    args.Number(version);
    if (guid == nullptr) {
        args.Null();
    } else {
        char text[40];
        std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      guid->data1, guid->data2, guid->data3, guid->data4[0], guid->data4[1],
                      guid->data4[2], guid->data4[3], guid->data4[4], guid->data4[5],
                      guid->data4[6], guid->data4[7]);
        args.Text(text);
    }
    trace.Write("CreateServerEngine", args.Line());
}

bool IsEngineInterface(const EngineInterfaceGuid* guid) {
    return guid != nullptr && guid->data1 == kServerEngineGuid.data1 &&
           guid->data2 == kServerEngineGuid.data2 && guid->data3 == kServerEngineGuid.data3 &&
           std::memcmp(guid->data4, kServerEngineGuid.data4, sizeof guid->data4) == 0;
}

}  // namespace

extern "C" TARNWICK_EXPORT int32_t CreateServerEngine(int32_t version,
                                                      const EngineInterfaceGuid* guid,
                                                      ServerEngine** engine) {
    std::lock_guard lock(instanceMutex);
    const SimControls controls = SimControls::FromEnvironment();
    int32_t result = kCreated;
    if (engine == nullptr) {
        result = kNoOutPointer;
    } else if (version != kServerEngineInterfaceVersion) {
        result = kWrongVersion;
    } else if (!IsEngineInterface(guid)) {
        result = kWrongInterface;
    } else if (instance != nullptr) {
        result = kAlreadyCreated;
    } else if (controls.Fails(SimStep::Create)) {
        result = kFailureRequested;
    }
    if (result != kCreated) {
        if (engine != nullptr) *engine = nullptr;
        CallTrace trace(controls.tracePath);
        TraceCreate(trace, version, guid);
        return result;
    }
    instance = new SimulatedEngine(controls);
    TraceCreate(instance->Trace(), version, guid);
    *engine = instance;
    return kCreated;
}

extern "C" TARNWICK_EXPORT void ReleaseServerEngine() {
    std::lock_guard lock(instanceMutex);
    if (instance == nullptr) return;
    instance->Trace().Enter("ReleaseServerEngine", "");
    instance->Trace().Leave();
    delete instance;
    instance = nullptr;
}
