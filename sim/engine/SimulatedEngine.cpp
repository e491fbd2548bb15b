#include "SimulatedEngine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "ConfigFile.h"

namespace {

// Texts handed over by the host end at a NUL; this bound keeps a missing one from running on.
constexpr size_t kMaxHostText = 1 << 16;

std::string_view HostText(const char* text) {
    return text == nullptr ? std::string_view()
                           : std::string_view(text, strnlen(text, kMaxHostText));
}

std::string_view FieldText(const char* field, size_t size) {
    return std::string_view(field, strnlen(field, size));
}

float ToFloat(double value) {
    if (std::isnan(value)) return 0.0f;
    return static_cast<float>(
        std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

uint64_t SeedFor(const SimControls& controls) {
    if (controls.seedGiven) return controls.seed;
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
}

// A resource is a file or directory below the current directory; absolute paths and ".."
// would let the name escape it.
bool ResourceExists(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    struct stat info {};
    return ::stat(std::string(name).c_str(), &info) == 0;
}

// The host's sink may come from any compiler or language (a table of four function pointers
// behind its first word), so its calls go without the sanitizer's C++ type check.
__attribute__((no_sanitize("vptr"))) void CallSink(EngineHostSink* sink, const OutgoingItem& item) {
    if (item.route == OutgoingItem::Route::EngineMessage) {
        sink->OnEngineMessage(item.text.c_str());
    } else {
        sink->OnConsoleOutput(item.text.c_str());
    }
}

}  // namespace

// One call into the engine: its trace line on the way in (before waiting for the lock, so a
// call that collides with another thread is seen), then the engine's lock for its duration.
class SimulatedEngine::Call {
public:
    template <class Describe>
    Call(SimulatedEngine& engine, std::string_view name, Describe&& describe) : engine(engine) {
        if (engine.trace.Enabled()) {
            TraceArgs args;
            describe(args);
            engine.trace.Enter(name, args.Line());
        }
        engine.mutex.lock();
    }
    Call(SimulatedEngine& engine, std::string_view name) : Call(engine, name, [](TraceArgs&) {}) {}
    ~Call() {
        engine.mutex.unlock();
        engine.trace.Leave();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    SimulatedEngine& engine;
};

SimulatedEngine::SimulatedEngine(const SimControls& controls)
    : controls(controls),
      trace(controls.tracePath),
      players(SeedFor(controls)),
      console(variables, players, outbox, server),
      eventLog(outbox, controls.eventLogDirectory),
      combat(SeedFor(controls) ^ 0xC0BA7F16u) {
    players.SetTarget(controls.botTarget);
    players.SetCapacity(server.maxPlayers);
}

SimulatedEngine::~SimulatedEngine() = default;

void SimulatedEngine::Deliver() {
    if (sink == nullptr || outbox.Empty()) return;
    for (const OutgoingItem& item : outbox.Take()) {
        if (sink == nullptr) break;  // detached by the host from inside a handler
        if (trace.Enabled()) {
            trace.Write(item.route == OutgoingItem::Route::EngineMessage ? "sink.OnEngineMessage"
                                                                         : "sink.OnConsoleOutput",
                        TraceArgs().Text(item.text).Line());
        }
        CallSink(sink, item);
    }
}

int32_t SimulatedEngine::AttachHost(EngineHostSink* newSink) {
    Call call(*this, "AttachHost", [&](TraceArgs& args) { args.Pointer(newSink); });
    if (newSink != nullptr && controls.Fails(SimStep::Attach)) return 1;
    sink = newSink;
    return 0;
}

int32_t SimulatedEngine::ExecuteCommand(const char* line) {
    Call call(*this, "ExecuteCommand", [&](TraceArgs& args) { args.Text(line); });
    if (line == nullptr) return 0;
    bool ok = console.Execute(HostText(line));
    Deliver();
    return ok ? 1 : 0;
}

int32_t SimulatedEngine::FindVariable(const char* name, uint32_t* handle, int32_t zero) {
    Call call(*this, "FindVariable", [&](TraceArgs& args) { args.Text(name).Number(zero); });
    uint32_t found = name == nullptr ? 0 : variables.Find(HostText(name));
    if (handle != nullptr) *handle = found;
    return found != 0 && handle != nullptr ? 1 : 0;
}

int32_t SimulatedEngine::ReadVariableNumber(uint32_t handle, float* value) {
    Call call(*this, "ReadVariableNumber", [&](TraceArgs& args) { args.Number(handle); });
    const ConsoleVariable* variable = variables.Get(handle);
    if (variable == nullptr || value == nullptr) return 0;
    *value = ToFloat(variable->number);
    return 1;
}

int32_t SimulatedEngine::ReadVariableText(uint32_t handle, char* buffer, int32_t capacity) {
    Call call(*this, "ReadVariableText",
              [&](TraceArgs& args) { args.Number(handle).Number(capacity); });
    if (buffer == nullptr || capacity <= 0) return 0;
    const ConsoleVariable* variable = variables.Get(handle);
    if (variable == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    size_t length = std::min(variable->text.size(), static_cast<size_t>(capacity) - 1);
    std::memcpy(buffer, variable->text.data(), length);
    buffer[length] = '\0';
    return 1;
}

int32_t SimulatedEngine::GetVariableFlags(const char* name, uint32_t* flags) {
    Call call(*this, "GetVariableFlags", [&](TraceArgs& args) { args.Text(name); });
    const ConsoleVariable* variable = name == nullptr ? nullptr : variables.Get(HostText(name));
    uint32_t value = variable == nullptr ? 0 : variable->flags;
    if (flags != nullptr) *flags = value;
    return static_cast<int32_t>(value);
}

int32_t SimulatedEngine::SetVariableFlags(const char* name, uint32_t flags) {
    Call call(*this, "SetVariableFlags", [&](TraceArgs& args) { args.Text(name).Number(flags); });
    ConsoleVariable* variable =
        name == nullptr ? nullptr : variables.Get(variables.Find(HostText(name)));
    if (variable == nullptr) return 0;
    variable->flags = flags;
    return 1;
}

int32_t SimulatedEngine::ReadConfig(const char* path) {
    Call call(*this, "ReadConfig", [&](TraceArgs& args) { args.Text(path); });
    if (path == nullptr) return 0;
    const std::string file(HostText(path));
    bool read = ConfigFile::Read(
        file, [&](std::string_view line) { console.ExecuteLine(line); },
        [&](size_t lineNumber) {
            outbox.ConsoleOutput(file + ":" + std::to_string(lineNumber) +
                                 ": line too long, ignored");
        });
    if (!read) outbox.ConsoleOutput("No configuration file " + file + ", defaults stay");
    Deliver();
    return read ? 1 : 0;
}

int32_t SimulatedEngine::WriteConfig(const char* path, int32_t flags) {
    Call call(*this, "WriteConfig", [&](TraceArgs& args) { args.Text(path).Number(flags); });
    if (path == nullptr) return 0;
    const std::string file(HostText(path));
    bool written = ConfigFile::Write(variables, file, static_cast<uint32_t>(flags));
    if (!written)
        outbox.ConsoleOutput("Cannot write configuration file " + file + ": " +
                             std::strerror(errno));
    Deliver();
    return written ? 1 : 0;
}

int32_t SimulatedEngine::SendHostMessage(const char* message) {
    Call call(*this, "SendHostMessage", [&](TraceArgs& args) { args.Text(message); });
    return message == nullptr ? 0 : 1;
}

int32_t SimulatedEngine::RegisterResources(const char* const* names, int32_t count) {
    constexpr int32_t kMaxResources = 32;
    Call call(*this, "RegisterResources", [&](TraceArgs& args) {
        if (names == nullptr) {
            args.Null();
        } else {
            args.BeginRecord();
            for (int32_t i = 0; i < std::min(count, kMaxResources); ++i) args.Text(names[i]);
            args.EndRecord();
        }
        args.Number(count);
    });
    if (controls.Fails(SimStep::Resources)) return 0;
    if (names == nullptr || count <= 0 || count > kMaxResources) return 0;
    bool all = true;
    for (int32_t i = 0; i < count; ++i) {
        std::string_view name = HostText(names[i]);
        if (!ResourceExists(name)) {
            outbox.ConsoleOutput("Resource not found: \"" + std::string(name) + "\"");
            all = false;
        }
    }
    Deliver();
    return all ? 1 : 0;
}

FileEntry* SimulatedEngine::ListFiles(const char* directory) {
    Call call(*this, "ListFiles", [&](TraceArgs& args) { args.Text(directory); });
    if (directory == nullptr) return nullptr;
    return lists.ListDirectory(std::string(HostText(directory)));
}

int32_t SimulatedEngine::ReleaseFileList(FileEntry* head) {
    Call call(*this, "ReleaseFileList", [&](TraceArgs& args) { args.Pointer(head); });
    return lists.ReleaseFiles(head) ? 1 : 0;
}

int32_t SimulatedEngine::StartServer(ServerLaunchInfo* info) {
    Call call(*this, "StartServer", [&](TraceArgs& args) {
        if (info == nullptr) {
            args.Null();
            return;
        }
        args.BeginRecord()
            .Field("zero", info->zero)
            .Field("worldName", FieldText(info->worldName, sizeof info->worldName))
            .Field("maxPlayers", info->maxPlayers)
            .Field("gameDescriptionSize", info->gameDescriptionSize);
        if (const GameDescription* game = info->gameDescription;
            game != nullptr && info->gameDescriptionSize >= int32_t{sizeof(GameDescription)}) {
            args.Field("gameDescription.worldName",
                       FieldText(game->worldName, sizeof game->worldName))
                .Field("gameDescription.worldNameAgain",
                       FieldText(game->worldNameAgain, sizeof game->worldNameAgain))
                .Field("gameDescription.zero1", game->zero1)
                .Field("gameDescription.zero2", game->zero2);
        }
        args.EndRecord();
    });
    if (info == nullptr) return 0;
    std::string world(FieldText(info->worldName, sizeof info->worldName));
    if (world.empty()) {
        outbox.ConsoleOutput("Cannot start a game server without a world");
        Deliver();
        return 0;
    }
    if (info->maxPlayers > 0)
        server.maxPlayers = std::min(info->maxPlayers, PlayerSimulation::kMaxPlayers);
    players.SetCapacity(server.maxPlayers);
    server.world = world;
    server.started = true;
    ++server.match;
    server.matchTicks = 0;
    outbox.ConsoleOutput("Starting game server on world " + world + " for up to " +
                         std::to_string(server.maxPlayers) + " players");
    Deliver();
    return 1;
}

int32_t SimulatedEngine::DropClient(int32_t clientId) {
    Call call(*this, "DropClient", [&](TraceArgs& args) { args.Number(clientId); });
    bool removed = players.Remove(clientId, "was kicked", outbox);
    Deliver();
    return removed ? 1 : 0;
}

int32_t SimulatedEngine::GetClientPing(int32_t clientId, float* seconds) {
    Call call(*this, "GetClientPing", [&](TraceArgs& args) { args.Number(clientId); });
    if (seconds == nullptr) return 0;
    if (!players.Ping(clientId, *seconds)) {
        *seconds = 0;
        return 0;
    }
    return 1;
}

int32_t SimulatedEngine::Tick(int32_t zero) {
    Call call(*this, "Tick", [&](TraceArgs& args) { args.Number(zero); });
    if (controls.Fails(SimStep::Tick) || server.quitRequested) {
        Deliver();
        return 0;
    }
    ++ticks;
    // An engine that hangs: the host must still answer its health checks, say so and end.
    while (server.hangRequested) std::this_thread::sleep_for(std::chrono::hours(1));
    if (server.slowTickEvery != 0 && ticks % static_cast<uint64_t>(server.slowTickEvery) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(server.slowTickMs));
    if (server.started) {
        ++server.matchTicks;
        players.Step(outbox);
        LogGameEvents();
    }
    bool closeDue = controls.closeAfterTicks != 0 && ticks == controls.closeAfterTicks;
    if (closeDue || server.closeRequested) {
        server.closeRequested = false;
        outbox.CloseServer();
    }
    Deliver();
    return 1;
}

void SimulatedEngine::LogGameEvents() {
    // A variable the host never set has the game's default: logging off, friendly fire on,
    // team kills punished.
    const auto number = [&](std::string_view name, double missing) {
        const ConsoleVariable* variable = variables.Get(name);
        return variable == nullptr ? missing : variable->number;
    };
    if (number("logevents", 0) != 1) return;
    // The host updates every 33 ms: the match clock in whole seconds.
    eventLog.Follow(server.match, server.world, server.matchTicks * 33 / 1000, players.Players());
    const CombatRules rules{number("ffteam", 0.5) > 0, number("tkpunish", 1) != 0};
    combat.Step(server.match, players.Players(), rules, eventLog);
}

int32_t SimulatedEngine::StartNetwork(int32_t zero1, int32_t zero2) {
    Call call(*this, "StartNetwork", [&](TraceArgs& args) { args.Number(zero1).Number(zero2); });
    return 1;
}

int32_t SimulatedEngine::ListNetworkDrivers(NetworkDriverRecord** first) {
    Call call(*this, "ListNetworkDrivers");
    if (first == nullptr) return 0;
    if (controls.Fails(SimStep::Drivers)) {
        *first = nullptr;
        return 0;
    }
    *first = lists.ListDrivers();
    return 1;
}

int32_t SimulatedEngine::ReleaseNetworkDriverList(NetworkDriverRecord* first) {
    Call call(*this, "ReleaseNetworkDriverList", [&](TraceArgs& args) { args.Pointer(first); });
    bool released = first == nullptr || lists.ReleaseDrivers(first);
    if (controls.Fails(SimStep::Release)) return 0;
    return released ? 1 : 0;
}

int32_t SimulatedEngine::ChooseNetworkDriver(int32_t driverId) {
    Call call(*this, "ChooseNetworkDriver", [&](TraceArgs& args) { args.Number(driverId); });
    if (HandedOutLists::DriverName(driverId) == nullptr) return 0;
    server.chosenDriver = driverId;
    return 1;
}

int32_t SimulatedEngine::InitServer(ServerInitInfo* info) {
    Call call(*this, "InitServer", [&](TraceArgs& args) {
        if (info == nullptr) {
            args.Null();
            return;
        }
        args.BeginRecord()
            .Field("zero", info->zero)
            .Field("maxPlayers", info->maxPlayers)
            .Field("launchText", FieldText(info->launchText, sizeof info->launchText))
            .EndRecord();
    });
    if (info == nullptr || controls.Fails(SimStep::Init)) return 0;
    server.maxPlayers =
        info->maxPlayers > 0 ? std::min(info->maxPlayers, PlayerSimulation::kMaxPlayers) : 16;
    server.launchText = FieldText(info->launchText, sizeof info->launchText);
    server.initialised = true;
    players.SetCapacity(server.maxPlayers);
    return 1;
}

int32_t SimulatedEngine::GetEngineVersion(int32_t* major, int32_t* minor, int32_t* build) {
    Call call(*this, "GetEngineVersion");
    if (major == nullptr || minor == nullptr || build == nullptr) return 0;
    *major = kVersionMajor;
    *minor = kVersionMinor;
    *build = kVersionBuild;
    return 1;
}

int32_t SimulatedEngine::GetTraffic(float* sendRate, float* receiveRate) {
    Call call(*this, "GetTraffic");
    if (sendRate == nullptr || receiveRate == nullptr) return 0;
    // About 2.4 kB/s out and 0.9 kB/s in per player, breathing a little with the game.
    const double playerCount = static_cast<double>(players.Count());
    const double wave = 1.0 + 0.08 * std::sin(static_cast<double>(ticks) * 0.05);
    const double send =
        std::min(96.0 + playerCount * 2400.0 * wave, static_cast<double>(server.sendBandwidth));
    *sendRate = ToFloat(send);
    *receiveRate = ToFloat(48.0 + playerCount * 880.0 * wave);
    return 1;
}

int32_t SimulatedEngine::Reserved(const char* name) {
    Call call(*this, name);
    return 0;
}

int32_t SimulatedEngine::Reserved9() {
    return Reserved("Reserved9");
}
int32_t SimulatedEngine::Reserved15() {
    return Reserved("Reserved15");
}
int32_t SimulatedEngine::Reserved16() {
    return Reserved("Reserved16");
}
int32_t SimulatedEngine::Reserved17() {
    return Reserved("Reserved17");
}
int32_t SimulatedEngine::Reserved20() {
    return Reserved("Reserved20");
}
int32_t SimulatedEngine::Reserved21() {
    return Reserved("Reserved21");
}
int32_t SimulatedEngine::Reserved27() {
    return Reserved("Reserved27");
}
int32_t SimulatedEngine::Reserved29() {
    return Reserved("Reserved29");
}
int32_t SimulatedEngine::Reserved30() {
    return Reserved("Reserved30");
}
