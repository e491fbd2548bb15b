// A recording stand-in for the engine module, for tests only: it logs every call in order,
// keeps console variables the way the engine does, and answers each step as a test scripts it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EngineAccess.h"
#include "ServerEngine.h"

class FakeEngine final : public ServerEngine {
public:
    struct Variable {
        std::string name;  // as first set
        std::string text;
        float number = 0.0f;
        uint32_t flags = 0;
    };

    // Every call, as "Name arg arg": "ExecuteCommand maxplayers 16", "SetVariableFlags map0 5".
    std::vector<std::string> calls;

    // Scripted answers.
    int32_t attachResult = 0;
    int32_t registerResult = 1;
    int32_t listDriversResult = 1;
    int32_t releaseDriversResult = 1;
    int32_t initResult = 1;
    int32_t tickResult = 1;
    int32_t dropResult = 1;  // 0: the client had already gone
    int32_t versionMajor = 1, versionMinor = 2, versionBuild = 3;
    float sendRate = 0.0f, receiveRate = 0.0f;
    std::vector<std::pair<int32_t, std::string>> drivers{{7, "Internet TCP/IP"}};
    std::vector<std::pair<uint32_t, std::string>> files;  // kind, full name
    std::map<int32_t, float> pings;                       // seconds
    std::vector<std::string> configLines;                 // what ReadConfig runs
    std::function<void(FakeEngine&)> onTick;              // runs inside Tick
    std::function<void(const std::string&)> onCall;       // runs inside every call

    EngineHostSink* sink = nullptr;
    std::unique_ptr<ServerLaunchInfo> lastLaunch;
    std::unique_ptr<ServerInitInfo> lastInit;
    std::unique_ptr<GameDescription> lastGame;

    // Only the ExecuteCommand lines, in order.
    std::vector<std::string> Commands() const;
    const Variable* Find(const std::string& name) const;
    void SetText(const std::string& name, const std::string& text);
    void SetNumber(const std::string& name, float value);
    void ClearCalls() { calls.clear(); }
    // Variables are created by the commands that set them; a long run forgets the newer ones.
    std::size_t VariableCount() const { return variables_.size(); }
    void ForgetVariablesFrom(std::size_t count) {
        if (count < variables_.size()) variables_.resize(count);
    }

    int32_t AttachHost(EngineHostSink* sink) override;
    int32_t ExecuteCommand(const char* line) override;
    int32_t FindVariable(const char* name, uint32_t* handle, int32_t zero) override;
    int32_t ReadVariableNumber(uint32_t handle, float* value) override;
    int32_t ReadVariableText(uint32_t handle, char* buffer, int32_t capacity) override;
    int32_t GetVariableFlags(const char* name, uint32_t* flags) override;
    int32_t SetVariableFlags(const char* name, uint32_t flags) override;
    int32_t ReadConfig(const char* path) override;
    int32_t WriteConfig(const char* path, int32_t flags) override;
    int32_t Reserved9() override { return 0; }
    int32_t SendHostMessage(const char* message) override;
    int32_t RegisterResources(const char* const* names, int32_t count) override;
    FileEntry* ListFiles(const char* directory) override;
    int32_t ReleaseFileList(FileEntry* head) override;
    int32_t StartServer(ServerLaunchInfo* info) override;
    int32_t Reserved15() override { return 0; }
    int32_t Reserved16() override { return 0; }
    int32_t Reserved17() override { return 0; }
    int32_t DropClient(int32_t clientId) override;
    int32_t GetClientPing(int32_t clientId, float* seconds) override;
    int32_t Reserved20() override { return 0; }
    int32_t Reserved21() override { return 0; }
    int32_t Tick(int32_t zero) override;
    int32_t StartNetwork(int32_t zero1, int32_t zero2) override;
    int32_t ListNetworkDrivers(NetworkDriverRecord** first) override;
    int32_t ReleaseNetworkDriverList(NetworkDriverRecord* first) override;
    int32_t ChooseNetworkDriver(int32_t driverId) override;
    int32_t Reserved27() override { return 0; }
    int32_t InitServer(ServerInitInfo* info) override;
    int32_t Reserved29() override { return 0; }
    int32_t Reserved30() override { return 0; }
    int32_t GetEngineVersion(int32_t* major, int32_t* minor, int32_t* build) override;
    int32_t GetTraffic(float* sendRate, float* receiveRate) override;

private:
    void Record(std::string call);
    Variable& Ensure(const std::string& name);
    std::vector<Variable> variables_;  // handle = index + 1
    std::vector<std::unique_ptr<NetworkDriverRecord[]>> driverLists_;
    std::vector<std::unique_ptr<std::vector<std::string>>> fileNames_;
};

// The engine module's two exports over whichever fake a test binds: Create hands out `bound`
// (and fails while it is null), Release counts its calls.
struct FakeEngineModule {
    static inline FakeEngine* bound = nullptr;
    static inline int releases = 0;
    static inline int32_t lastVersion = 0;
    static inline EngineInterfaceGuid lastGuid{};

    static int32_t Create(int32_t version, const EngineInterfaceGuid* guid, ServerEngine** engine) {
        lastVersion = version;
        lastGuid = *guid;
        *engine = bound;
        return bound ? 0 : 1;
    }
    static void Release() { ++releases; }
};

// The core's way to an engine, over a fake, for tests of the parts the core lends it to (the
// settings store, the world scan): every call under `lock` when one is given.
class FakeEngineAccess final : public EngineAccess {
public:
    explicit FakeEngineAccess(FakeEngine* engine = nullptr, std::mutex* lock = nullptr)
        : engine_(engine), lock_(lock) {}
    void Bind(FakeEngine* engine, std::mutex* lock = nullptr) {
        engine_ = engine;
        lock_ = lock;
    }
    void Unbind() { Bind(nullptr); }

    bool IsBound() const override { return engine_ != nullptr; }
    bool WithEngine(const std::function<void(ServerEngine&)>& call) override {
        if (!engine_) return false;
        std::unique_lock<std::mutex> guard;
        if (lock_) guard = std::unique_lock(*lock_);
        call(*engine_);
        return true;
    }

private:
    FakeEngine* engine_;
    std::mutex* lock_;
};
