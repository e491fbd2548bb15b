/* A host in C: the two exports, slot indices and a sink that is a plain table of functions. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { AttachHost = 0, StartServer = 14, DropClient = 18, Tick = 22, InitServer = 28 };

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
    uint8_t zeroes[52];
} GameInfo;
typedef struct {
    int32_t zero;
    char worldName[100], emptyTexts[3][100];
    uint8_t zeroes1[12];
    int32_t maxPlayers;
    uint8_t zeroes2[4164];
    GameInfo* game;
    int32_t gameSize;
    uint8_t zeroes3[8];
} LaunchInfo;

typedef struct {
    const void* table;
    int added, removed, consoleLines, lastAdded;
} Sink;

static int32_t SinkMessage(Sink* self, const char* message) {
    if (message[0] == 1) {
        self->lastAdded = atoi(message + 1);
        ++self->added;
    }
    self->removed += message[0] == 2;
    self->consoleLines += message[0] == 6;
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
#define CHECK(c) (void)((c) || (fprintf(stderr, "line %d: %s\n", __LINE__, #c), ++failures))
#define CALL(slot, type, ...) ((int32_t(*) type)engine->slots[slot])(engine, __VA_ARGS__)

int main(void) {
    static const Guid guid = {
        0xF6BD878B, 0x3176, 0x4196, {0xB0, 0x8F, 0x40, 0xF3, 0xDC, 0x5A, 0xB3, 0x53}};
    static InitInfo init = {0, 0, 16, ""};
    static LaunchInfo launch = {.maxPlayers = 16};
    static GameInfo game = {"worlds/antarctica", "worlds/antarctica", {0}};
    EngineObject* engine = NULL;
    Sink sink = {sinkTable, 0, 0, 0, 0};
    if (CreateServerEngine(2, &guid, &engine) != 0 || engine == NULL) return 1;
    CHECK(CALL(AttachHost, (EngineObject*, Sink*), &sink) == 0);
    CHECK(CALL(InitServer, (EngineObject*, InitInfo*), &init) != 0);
    strcpy(launch.worldName, game.worldName);
    launch.game = &game;
    launch.gameSize = (int32_t)sizeof game;
    CALL(StartServer, (EngineObject*, LaunchInfo*), &launch);
    CHECK(sink.consoleLines > 0);
    for (int i = 0; i < 5000 && sink.added < 4; ++i)
        CHECK(CALL(Tick, (EngineObject*, int32_t), 0) == 1);
    CHECK(sink.added >= 4);
    int removed = sink.removed;
    CHECK(CALL(DropClient, (EngineObject*, int32_t), sink.lastAdded) == 1);
    CHECK(sink.removed == removed + 1);
    CALL(AttachHost, (EngineObject*, Sink*), NULL);
    ReleaseServerEngine();
    return failures == 0 ? 0 : 1;
}
