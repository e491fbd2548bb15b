/* A host written in C that knows nothing of the C++ declarations: it reaches the engine through
 * the two exports and slot indices of the engine's table only, and hands the engine a sink that
 * is a plain table of four function pointers. On x86-64 and i386 Linux a virtual call passes the
 * object as the first argument, so functions taking an explicit self pointer fit the slots. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    SlotAttachHost = 0,
    SlotExecuteCommand = 1,
    SlotFindVariable = 2,
    SlotReadVariableNumber = 3,
    SlotStartServer = 14,
    SlotDropClient = 18,
    SlotGetClientPing = 19,
    SlotTick = 22,
    SlotInitServer = 28,
    SlotGetEngineVersion = 31,
};

typedef void (*AnySlot)(void);
typedef struct {
    const AnySlot* slots;
} EngineObject;

typedef struct {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
} Guid;

int32_t CreateServerEngine(int32_t version, const Guid* guid, EngineObject** engine);
void ReleaseServerEngine(void);

typedef struct {
    int32_t zero, unused, maxPlayers;
    char launchText[4096];
} InitInfo;

typedef struct {
    char worldName[64], worldNameAgain[64];
    int32_t zero1;
    uint8_t unused1[32];
    int32_t zero2;
    uint8_t unused2[12];
} GameInfo;

typedef struct {
    int32_t zero;
    char worldName[100];
    char emptyTexts[3][100];
    uint8_t zeroes1[12];
    int32_t maxPlayers;
    uint8_t zeroes2[4160];
    int32_t zero2;
    GameInfo* game;
    int32_t gameSize;
    uint8_t zeroes3[8];
} LaunchInfo;

/* The sink: its first word is the table, as in any object with virtual functions. */
typedef struct {
    const void* table;
    int added, removed, consoleLines, lastAdded;
} Sink;

static int32_t SinkMessage(Sink* self, const char* message) {
    while (*message == ' ') ++message;
    if (message[0] == 1) {
        ++self->added;
        self->lastAdded = atoi(message + 1);
    } else if (message[0] == 2) {
        ++self->removed;
    } else if (message[0] == 6) {
        ++self->consoleLines;
    }
    return 0;
}
static int32_t SinkConsole(Sink* self, const char* text) {
    (void)text;
    ++self->consoleLines;
    return 0;
}
static int32_t SinkUnnamed2(Sink* self) {
    (void)self;
    return 0;
}
static int32_t SinkUnnamed3(Sink* self, int32_t a, int32_t b, int32_t c, int32_t d) {
    (void)self, (void)a, (void)b, (void)c, (void)d;
    return 0;
}
static const AnySlot sinkTable[4] = {(AnySlot)SinkMessage, (AnySlot)SinkConsole,
                                     (AnySlot)SinkUnnamed2, (AnySlot)SinkUnnamed3};

static int failures = 0;
#define CHECK(condition)                                                    \
    do {                                                                    \
        if (!(condition)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                     \
        }                                                                   \
    } while (0)

int main(void) {
    static const Guid guid = {
        0xF6BD878B, 0x3176, 0x4196, {0xB0, 0x8F, 0x40, 0xF3, 0xDC, 0x5A, 0xB3, 0x53}};
    EngineObject* engine = NULL;
    if (CreateServerEngine(2, &guid, &engine) != 0 || engine == NULL) {
        fprintf(stderr, "CreateServerEngine failed\n");
        return 1;
    }
    const AnySlot* slot = engine->slots;
    Sink sink = {sinkTable, 0, 0, 0, 0};

    CHECK(((int32_t(*)(EngineObject*, Sink*))slot[SlotAttachHost])(engine, &sink) == 0);
    int32_t (*execute)(EngineObject*, const char*) =
        (int32_t(*)(EngineObject*, const char*))slot[SlotExecuteCommand];
    CHECK(execute(engine, "map0 worlds/antarctica") == 1);
    CHECK(execute(engine, "NumMaps 1.000000") == 1);

    uint32_t handle = 0;
    float number = 0;
    CHECK(((int32_t(*)(EngineObject*, const char*, uint32_t*, int32_t))slot[SlotFindVariable])(
              engine, "nummaps", &handle, 0) == 1);
    CHECK(((int32_t(*)(EngineObject*, uint32_t, float*))slot[SlotReadVariableNumber])(
              engine, handle, &number) == 1);
    CHECK(number == 1.0f);

    int32_t major = 0, minor = 0, build = 0;
    CHECK(((int32_t(*)(EngineObject*, int32_t*, int32_t*, int32_t*))slot[SlotGetEngineVersion])(
              engine, &major, &minor, &build) == 1);
    CHECK(major > 0 || minor > 0 || build > 0);

    static InitInfo init;
    init.maxPlayers = 16;
    CHECK(((int32_t(*)(EngineObject*, InitInfo*))slot[SlotInitServer])(engine, &init) != 0);
    static LaunchInfo launch;
    static GameInfo game;
    strcpy(launch.worldName, "worlds/antarctica");
    strcpy(game.worldName, launch.worldName);
    strcpy(game.worldNameAgain, launch.worldName);
    launch.maxPlayers = 16;
    launch.game = &game;
    launch.gameSize = (int32_t)sizeof game;
    ((int32_t(*)(EngineObject*, LaunchInfo*))slot[SlotStartServer])(engine, &launch);
    CHECK(sink.consoleLines > 0);

    int32_t (*tick)(EngineObject*, int32_t) = (int32_t(*)(EngineObject*, int32_t))slot[SlotTick];
    for (int i = 0; i < 5000 && sink.added < 4; ++i) CHECK(tick(engine, 0) == 1);
    CHECK(sink.added >= 4);

    float ping = 0;
    CHECK(((int32_t(*)(EngineObject*, int32_t, float*))slot[SlotGetClientPing])(
              engine, sink.lastAdded, &ping) == 1);
    CHECK(ping > 0.0f && ping < 1.0f);
    int removedBefore = sink.removed;
    CHECK(((int32_t(*)(EngineObject*, int32_t))slot[SlotDropClient])(engine, sink.lastAdded) == 1);
    CHECK(sink.removed == removedBefore + 1);

    ((int32_t(*)(EngineObject*, Sink*))slot[SlotAttachHost])(engine, NULL);
    ReleaseServerEngine();
    printf("foreign host: %d players added, %d removed, %d console lines, %d failures\n",
           sink.added, sink.removed, sink.consoleLines, failures);
    return failures == 0 ? 0 : 1;
}
