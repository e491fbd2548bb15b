// The simulated game engine behind the module's slot table. Every call is serialised by the
// engine's own lock, so a host that forgets its lock gets an OVERLAP line in the trace and
// never a corrupted engine.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "CallTrace.h"
#include "CombatSimulation.h"
#include "ConsoleCommands.h"
#include "ConsoleVariables.h"
#include "EngineOutbox.h"
#include "GameEventLog.h"
#include "GameServerState.h"
#include "HandedOutLists.h"
#include "PlayerSimulation.h"
#include "ServerEngine.h"
#include "SimControls.h"
#include "TraceArgs.h"

class SimulatedEngine final : public ServerEngine {
public:
    static constexpr int32_t kVersionMajor = 1;
    static constexpr int32_t kVersionMinor = 2;
    static constexpr int32_t kVersionBuild = 3;

    explicit SimulatedEngine(const SimControls& controls);
    ~SimulatedEngine();
    SimulatedEngine(const SimulatedEngine&) = delete;
    SimulatedEngine& operator=(const SimulatedEngine&) = delete;

    CallTrace& Trace() { return trace; }

    int32_t AttachHost(EngineHostSink* sink) override;
    int32_t ExecuteCommand(const char* line) override;
    int32_t FindVariable(const char* name, uint32_t* handle, int32_t zero) override;
    int32_t ReadVariableNumber(uint32_t handle, float* value) override;
    int32_t ReadVariableText(uint32_t handle, char* buffer, int32_t capacity) override;
    int32_t GetVariableFlags(const char* name, uint32_t* flags) override;
    int32_t SetVariableFlags(const char* name, uint32_t flags) override;
    int32_t ReadConfig(const char* path) override;
    int32_t WriteConfig(const char* path, int32_t flags) override;
    int32_t Reserved9() override;
    int32_t SendHostMessage(const char* message) override;
    int32_t RegisterResources(const char* const* names, int32_t count) override;
    FileEntry* ListFiles(const char* directory) override;
    int32_t ReleaseFileList(FileEntry* head) override;
    int32_t StartServer(ServerLaunchInfo* info) override;
    int32_t Reserved15() override;
    int32_t Reserved16() override;
    int32_t Reserved17() override;
    int32_t DropClient(int32_t clientId) override;
    int32_t GetClientPing(int32_t clientId, float* seconds) override;
    int32_t Reserved20() override;
    int32_t Reserved21() override;
    int32_t Tick(int32_t zero) override;
    int32_t StartNetwork(int32_t zero1, int32_t zero2) override;
    int32_t ListNetworkDrivers(NetworkDriverRecord** first) override;
    int32_t ReleaseNetworkDriverList(NetworkDriverRecord* first) override;
    int32_t ChooseNetworkDriver(int32_t driverId) override;
    int32_t Reserved27() override;
    int32_t InitServer(ServerInitInfo* info) override;
    int32_t Reserved29() override;
    int32_t Reserved30() override;
    int32_t GetEngineVersion(int32_t* major, int32_t* minor, int32_t* build) override;
    int32_t GetTraffic(float* sendRate, float* receiveRate) override;

private:
    class Call;

    // Hands the outbox to the host, if one is attached; anything the host's handlers cause
    // meanwhile waits for the next delivery.
    void Deliver();
    // The event log and the fights it records, while logevents is 1.
    void LogGameEvents();
    int32_t Reserved(const char* name);

    SimControls controls;
    CallTrace trace;
    std::recursive_mutex mutex;
    EngineHostSink* sink = nullptr;
    ConsoleVariables variables;
    EngineOutbox outbox;
    GameServerState server;
    PlayerSimulation players;
    ConsoleCommands console;
    HandedOutLists lists;
    GameEventLog eventLog;
    CombatSimulation combat;
    uint64_t ticks = 0;
};
