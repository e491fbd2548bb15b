#include "EngineTestSupport.h"

#include <unistd.h>

#include <cstring>
#include <string_view>

namespace {

constexpr const char* kControls[] = {"TARNWICK_SIM_SEED", "TARNWICK_SIM_BOTS", "TARNWICK_SIM_FAIL",
                                     "TARNWICK_SIM_CLOSE_AFTER_TICKS", "TARNWICK_ENGINE_TRACE"};

// The host's integer field: blanks skipped, sign, digits in base 10, 16 or 8.
bool ReadInteger(std::string_view& body, long long& value) {
    size_t start = body.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string_view::npos) return false;
    body.remove_prefix(start);
    std::string digits(body.substr(0, 15));
    char* end = nullptr;
    value = std::strtoll(digits.c_str(), &end, 0);
    if (end == digits.c_str()) return false;
    body.remove_prefix(static_cast<size_t>(end - digits.c_str()));
    return true;
}

}  // namespace

std::vector<std::string> RecordingSink::ConsoleLines() const {
    std::vector<std::string> lines;
    for (const std::string& text : console) {
        lines.push_back(text.ends_with('\n') ? text.substr(0, text.size() - 1) : text);
    }
    for (const std::string& message : messages) {
        if (!message.empty() && message[0] == '\x06') lines.push_back(message.substr(1));
    }
    return lines;
}

bool RecordingSink::SaidSomethingContaining(const std::string& part) const {
    for (const std::string& line : ConsoleLines()) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

bool MessageRoster::Apply(const std::string& message) {
    if (message.empty()) return false;
    std::string_view body(message);
    const char type = body.front();
    body.remove_prefix(1);
    long long id = 0;
    switch (type) {
        case '\x01':
            if (!ReadInteger(body, id)) return false;
            players[static_cast<int32_t>(id)] = RosterEntry{"NEWPLAYER"};
            return body.empty();
        case '\x02':
            if (!ReadInteger(body, id)) return false;
            players.erase(static_cast<int32_t>(id));
            return body.empty();
        case '\x03':
            for (;;) {
                if (!ReadInteger(body, id)) return false;
                if (id == -1) return body.empty();
                auto it = players.find(static_cast<int32_t>(id));
                if (it == players.end() || body.empty()) return false;
                body.remove_prefix(1);  // separator
                size_t end = body.substr(0, 30).find('\n');
                it->second.name = std::string(body.substr(0, std::min<size_t>(end, 30)));
                body.remove_prefix(end == std::string_view::npos ? std::min<size_t>(30, body.size())
                                                                 : end + 1);
                long long team = 0, specialty = 0;
                if (!ReadInteger(body, team) || !ReadInteger(body, specialty)) return false;
                it->second.team = static_cast<uint32_t>(team);
                it->second.specialty = static_cast<int32_t>(specialty);
            }
        case '\x06':
            return body.find('\n') == std::string_view::npos;
        case '\x07':
            ++closeMessages;
            return body.empty();
        default:
            return false;
    }
}

TempDirectory::TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "engine-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::filesystem::path& directory)
    : previous(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
}

void EngineTest::SetUp() {
    for (const char* name : kControls) ::unsetenv(name);
    SetControl("TARNWICK_SIM_SEED", "42");
}

void EngineTest::TearDown() {
    ReleaseEngine();
    for (const char* name : kControls) ::unsetenv(name);
}

ServerEngine* EngineTest::CreateEngine(bool attach) {
    engine = reinterpret_cast<ServerEngine*>(1);  // the module must clear it
    int32_t result = CreateServerEngine(kServerEngineInterfaceVersion, &kServerEngineGuid, &engine);
    EXPECT_EQ(result, 0);
    EXPECT_NE(engine, nullptr);
    if (engine != nullptr && attach) {
        EXPECT_EQ(engine->AttachHost(&sink), 0);
    }
    return engine;
}

void EngineTest::ReleaseEngine() {
    if (engine == nullptr) return;
    engine->AttachHost(nullptr);
    ReleaseServerEngine();
    engine = nullptr;
}

void EngineTest::StartGame(const char* world, int32_t maxPlayers) {
    ServerInitInfo init{};
    init.maxPlayers = maxPlayers;
    ASSERT_NE(engine->InitServer(&init), 0);
    ServerLaunchInfo launch{};
    std::strncpy(launch.worldName, world, sizeof launch.worldName - 1);
    launch.maxPlayers = maxPlayers;
    GameDescription game{};
    std::strncpy(game.worldName, world, sizeof game.worldName - 1);
    std::strncpy(game.worldNameAgain, world, sizeof game.worldNameAgain - 1);
    launch.gameDescription = &game;
    launch.gameDescriptionSize = sizeof game;
    ASSERT_NE(engine->StartServer(&launch), 0);
}

std::string EngineTest::ReadText(const char* name, int32_t capacity) {
    uint32_t handle = 0;
    engine->FindVariable(name, &handle, 0);
    std::string buffer(static_cast<size_t>(capacity), '\x7f');
    engine->ReadVariableText(handle, buffer.data(), capacity);
    return buffer.substr(0, buffer.find('\0'));
}

float EngineTest::ReadNumber(const char* name) {
    uint32_t handle = 0;
    engine->FindVariable(name, &handle, 0);
    float value = -12345.0f;
    engine->ReadVariableNumber(handle, &value);
    return value;
}
