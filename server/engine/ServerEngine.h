// The game engine module's interface: the virtual slot table the host drives it through, the
// host's callback interface, and the records that cross the module boundary.
//
// The slot order is the binary contract with the engine module: a virtual function may never be
// moved, removed or inserted, and slots the host never calls keep their place as reserved entries.
// There is no virtual destructor on purpose (it would take slots); the engine is released with
// ReleaseServerEngine. Records keep the engine's field order and types; the 32-bit offsets are
// checked below in a 32-bit build, and a 64-bit build lets the pointers widen.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileEntry {
    uint32_t kind;  // 1 = a regular file
    const char* file_name;
    const char* full_name;
    FileEntry* next;
};

struct NetworkDriverRecord {
    int32_t driverId;
    uint8_t reserved1[20];
    char name[128];
    NetworkDriverRecord* next;
};

struct ServerInitInfo {
    int32_t zero;
    int32_t unused;
    int32_t maxPlayers;
    char launchText[4096];
};

struct GameDescription {
    char worldName[64];
    char worldNameAgain[64];
    int32_t zero1;
    uint8_t unused1[32];
    int32_t zero2;
    uint8_t unused2[12];
};

struct ServerLaunchInfo {
    int32_t zero;
    char worldName[100];
    char emptyTexts[3][100];
    uint8_t zeroes1[12];
    int32_t maxPlayers;
    uint8_t zeroes2[4160];
    int32_t zero2;
    GameDescription* gameDescription;
    int32_t gameDescriptionSize;
    uint8_t zeroes3[8];
};

class EngineHostSink {
public:
    virtual int32_t OnEngineMessage(const char* message) = 0;   // slot 0
    virtual int32_t OnConsoleOutput(const char* text) = 0;      // slot 1
    virtual int32_t Unnamed2() = 0;                              // slot 2
    virtual int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) = 0;  // slot 3

protected:
    ~EngineHostSink() = default;
};

class ServerEngine {
public:
    virtual int32_t AttachHost(EngineHostSink* sink) = 0;                                   // 0
    virtual int32_t ExecuteCommand(const char* line) = 0;                                   // 1
    virtual int32_t FindVariable(const char* name, uint32_t* handle, int32_t zero) = 0;     // 2
    virtual int32_t ReadVariableNumber(uint32_t handle, float* value) = 0;                  // 3
    virtual int32_t ReadVariableText(uint32_t handle, char* buffer, int32_t capacity) = 0;  // 4
    virtual int32_t GetVariableFlags(const char* name, uint32_t* flags) = 0;                // 5
    virtual int32_t SetVariableFlags(const char* name, uint32_t flags) = 0;                 // 6
    virtual int32_t ReadConfig(const char* path) = 0;                                       // 7
    virtual int32_t WriteConfig(const char* path, int32_t flags) = 0;                       // 8
    virtual int32_t Reserved9() = 0;                                                        // 9
    virtual int32_t SendHostMessage(const char* message) = 0;                               // 10
    virtual int32_t RegisterResources(const char* const* names, int32_t count) = 0;         // 11
    virtual FileEntry* ListFiles(const char* directory) = 0;                                // 12
    virtual int32_t ReleaseFileList(FileEntry* head) = 0;                                   // 13
    virtual int32_t StartServer(ServerLaunchInfo* info) = 0;                                // 14
    virtual int32_t Reserved15() = 0;                                                       // 15
    virtual int32_t Reserved16() = 0;                                                       // 16
    virtual int32_t Reserved17() = 0;                                                       // 17
    virtual int32_t DropClient(int32_t clientId) = 0;                                       // 18
    virtual int32_t GetClientPing(int32_t clientId, float* seconds) = 0;                    // 19
    virtual int32_t Reserved20() = 0;                                                       // 20
    virtual int32_t Reserved21() = 0;                                                       // 21
    virtual int32_t Tick(int32_t zero) = 0;                                                 // 22
    virtual int32_t StartNetwork(int32_t zero1, int32_t zero2) = 0;                         // 23
    virtual int32_t ListNetworkDrivers(NetworkDriverRecord** first) = 0;                    // 24
    virtual int32_t ReleaseNetworkDriverList(NetworkDriverRecord* first) = 0;               // 25
    virtual int32_t ChooseNetworkDriver(int32_t driverId) = 0;                              // 26
    virtual int32_t Reserved27() = 0;                                                       // 27
    virtual int32_t InitServer(ServerInitInfo* info) = 0;                                   // 28
    virtual int32_t Reserved29() = 0;                                                       // 29
    virtual int32_t Reserved30() = 0;                                                       // 30
    virtual int32_t GetEngineVersion(int32_t* major, int32_t* minor, int32_t* build) = 0;   // 31
    virtual int32_t GetTraffic(float* sendRate, float* receiveRate) = 0;                    // 32

protected:
    ~ServerEngine() = default;
};

// {F6BD878B-3176-4196-B08F-40F3DC5AB353}, laid out as the 16 bytes of a GUID record.
struct EngineInterfaceGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
inline constexpr EngineInterfaceGuid kServerEngineGuid = {
    0xF6BD878B, 0x3176, 0x4196, {0xB0, 0x8F, 0x40, 0xF3, 0xDC, 0x5A, 0xB3, 0x53}};
inline constexpr int32_t kServerEngineInterfaceVersion = 2;

extern "C" {
// 0 with a non-null engine is success.
int32_t CreateServerEngine(int32_t version, const EngineInterfaceGuid* guid, ServerEngine** engine);
void ReleaseServerEngine();
}

static_assert(sizeof(EngineInterfaceGuid) == 16);
static_assert(offsetof(ServerInitInfo, maxPlayers) == 8);
static_assert(offsetof(ServerInitInfo, launchText) == 12);
static_assert(offsetof(GameDescription, worldNameAgain) == 64);
static_assert(offsetof(GameDescription, zero1) == 128);
static_assert(offsetof(GameDescription, zero2) == 164);
static_assert(sizeof(GameDescription) == 180);
static_assert(offsetof(ServerLaunchInfo, worldName) == 4);
static_assert(offsetof(ServerLaunchInfo, emptyTexts) == 104);
static_assert(offsetof(ServerLaunchInfo, zeroes1) == 404);
static_assert(offsetof(ServerLaunchInfo, maxPlayers) == 416);
static_assert(offsetof(ServerLaunchInfo, zeroes2) == 420);
static_assert(offsetof(ServerLaunchInfo, zero2) == 4580);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(FileEntry, file_name) == 4);
static_assert(offsetof(FileEntry, full_name) == 8);
static_assert(offsetof(FileEntry, next) == 12);
static_assert(offsetof(NetworkDriverRecord, name) == 24);
static_assert(offsetof(NetworkDriverRecord, next) == 152);
static_assert(offsetof(ServerLaunchInfo, gameDescription) == 4584);
static_assert(offsetof(ServerLaunchInfo, gameDescriptionSize) == 4588);
static_assert(offsetof(ServerLaunchInfo, zeroes3) == 4592);
static_assert(sizeof(ServerLaunchInfo) == 4600);
#endif
