#include "FakeEngine.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <utility>

namespace {
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

void FakeEngine::Record(std::string call) {
    calls.push_back(std::move(call));
    if (onCall) onCall(calls.back());
}

std::vector<std::string> FakeEngine::Commands() const {
    std::vector<std::string> out;
    const std::string prefix = "ExecuteCommand ";
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
    return out;
}

FakeEngine::Variable& FakeEngine::Ensure(const std::string& name) {
    for (auto& v : variables_)
        if (Lower(v.name) == Lower(name)) return v;
    variables_.push_back({name, "", 0.0f, 0});
    return variables_.back();
}

const FakeEngine::Variable* FakeEngine::Find(const std::string& name) const {
    for (const auto& v : variables_)
        if (Lower(v.name) == Lower(name)) return &v;
    return nullptr;
}

void FakeEngine::SetText(const std::string& name, const std::string& text) {
    auto& v = Ensure(name);
    v.text = text;
    v.number = 0.0f;
}

void FakeEngine::SetNumber(const std::string& name, float value) {
    auto& v = Ensure(name);
    v.number = value;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    v.text = buffer;
}

int32_t FakeEngine::AttachHost(EngineHostSink* host) {
    Record(host ? "AttachHost sink" : "AttachHost null");
    sink = host;
    return host ? attachResult : 0;
}

int32_t FakeEngine::ExecuteCommand(const char* line) {
    std::string text = line ? line : "";
    Record("ExecuteCommand " + text);
    // Just enough of the console to keep variables: "+name "text"" and "name value".
    if (!text.empty() && text[0] == '+') {
        auto space = text.find(' ');
        if (space == std::string::npos) return 1;
        std::string value = text.substr(space + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        SetText(text.substr(1, space - 1), value);
    } else {
        auto space = text.find(' ');
        if (space == std::string::npos) return 1;
        std::string name = text.substr(0, space), value = text.substr(space + 1);
        // Read with the dot whatever the process's locale, as the engine does.
        float number = 0.0f;
        const char* last = value.data() + value.size();
        const auto [end, error] = std::from_chars(value.data(), last, number);
        if (error == std::errc() && end == last)
            SetNumber(name, number);
        else
            SetText(name, value);
    }
    return 1;
}

int32_t FakeEngine::FindVariable(const char* name, uint32_t* handle, int32_t zero) {
    Record(std::string("FindVariable ") + name + " " + std::to_string(zero));
    *handle = 0;
    for (size_t i = 0; i < variables_.size(); ++i)
        if (Lower(variables_[i].name) == Lower(name)) *handle = static_cast<uint32_t>(i + 1);
    return *handle != 0;
}

int32_t FakeEngine::ReadVariableNumber(uint32_t handle, float* value) {
    Record("ReadVariableNumber " + std::to_string(handle));
    if (handle == 0 || handle > variables_.size()) return 0;
    *value = variables_[handle - 1].number;
    return 1;
}

int32_t FakeEngine::ReadVariableText(uint32_t handle, char* buffer, int32_t capacity) {
    Record("ReadVariableText " + std::to_string(handle) + " " + std::to_string(capacity));
    if (handle == 0 || handle > variables_.size() || capacity <= 0) return 0;
    std::snprintf(buffer, static_cast<size_t>(capacity), "%s", variables_[handle - 1].text.c_str());
    return 1;
}

int32_t FakeEngine::GetVariableFlags(const char* name, uint32_t* flags) {
    Record(std::string("GetVariableFlags ") + name);
    const Variable* v = Find(name);
    *flags = v ? v->flags : 0;
    return static_cast<int32_t>(*flags);
}

int32_t FakeEngine::SetVariableFlags(const char* name, uint32_t flags) {
    Record(std::string("SetVariableFlags ") + name + " " + std::to_string(flags));
    // As the engine: flags only for a variable that exists.
    for (Variable& v : variables_)
        if (Lower(v.name) == Lower(name)) {
            v.flags = flags;
            return 1;
        }
    return 0;
}

int32_t FakeEngine::ReadConfig(const char* path) {
    Record(std::string("ReadConfig ") + path);
    for (const auto& line : configLines) {
        ExecuteCommand(line.c_str());
        calls.pop_back();  // the file's lines are the engine's own business, not host calls
    }
    return 1;
}

int32_t FakeEngine::WriteConfig(const char* path, int32_t flags) {
    Record(std::string("WriteConfig ") + path + " " + std::to_string(flags));
    return 1;
}

int32_t FakeEngine::SendHostMessage(const char* message) {
    std::string escaped;
    for (const char* p = message; *p; ++p) {
        char b[8];
        std::snprintf(b, sizeof b, static_cast<unsigned char>(*p) < 32 ? "\\x%02x" : "%c", *p);
        escaped += b;
    }
    Record("SendHostMessage " + escaped);
    return 1;
}

int32_t FakeEngine::RegisterResources(const char* const* names, int32_t count) {
    std::string line = "RegisterResources";
    for (int32_t i = 0; i < count; ++i) line += std::string(" ") + names[i];
    Record(line);
    return registerResult;
}

FileEntry* FakeEngine::ListFiles(const char* directory) {
    Record(std::string("ListFiles ") + directory);
    FileEntry* head = nullptr;
    FileEntry** tail = &head;
    auto names = std::make_unique<std::vector<std::string>>();
    names->reserve(files.size() * 2);
    for (const auto& [kind, fullName] : files) {
        names->push_back(fullName);
        const char* full = names->back().c_str();
        auto slash = fullName.rfind('/');
        names->push_back(slash == std::string::npos ? fullName : fullName.substr(slash + 1));
        *tail = new FileEntry{kind, names->back().c_str(), full, nullptr};
        tail = &(*tail)->next;
    }
    fileNames_.push_back(std::move(names));
    return head;
}

int32_t FakeEngine::ReleaseFileList(FileEntry* head) {
    Record("ReleaseFileList");
    while (head) delete std::exchange(head, head->next);
    return 1;
}

int32_t FakeEngine::StartServer(ServerLaunchInfo* info) {
    Record(std::string("StartServer ") + info->worldName);
    lastLaunch = std::make_unique<ServerLaunchInfo>(*info);
    lastGame = std::make_unique<GameDescription>(*info->gameDescription);
    return 1;
}

int32_t FakeEngine::DropClient(int32_t clientId) {
    Record("DropClient " + std::to_string(clientId));
    return dropResult;
}

int32_t FakeEngine::GetClientPing(int32_t clientId, float* seconds) {
    Record("GetClientPing " + std::to_string(clientId));
    auto it = pings.find(clientId);
    *seconds = it == pings.end() ? 0.0f : it->second;
    return 1;
}

int32_t FakeEngine::Tick(int32_t) {
    Record("Tick");
    if (onTick) onTick(*this);
    return tickResult;
}

int32_t FakeEngine::StartNetwork(int32_t a, int32_t b) {
    Record("StartNetwork " + std::to_string(a) + " " + std::to_string(b));
    return 1;
}

int32_t FakeEngine::ListNetworkDrivers(NetworkDriverRecord** first) {
    Record("ListNetworkDrivers");
    *first = nullptr;
    if (!listDriversResult || drivers.empty()) return listDriversResult;
    auto records = std::make_unique<NetworkDriverRecord[]>(drivers.size());
    for (size_t i = 0; i < drivers.size(); ++i) {
        records[i].driverId = drivers[i].first;
        std::snprintf(records[i].name, sizeof records[i].name, "%s", drivers[i].second.c_str());
        records[i].next = i + 1 < drivers.size() ? &records[i + 1] : nullptr;
    }
    *first = records.get();
    driverLists_.push_back(std::move(records));
    return listDriversResult;
}

int32_t FakeEngine::ReleaseNetworkDriverList(NetworkDriverRecord*) {
    Record("ReleaseNetworkDriverList");
    return releaseDriversResult;
}

int32_t FakeEngine::ChooseNetworkDriver(int32_t driverId) {
    Record("ChooseNetworkDriver " + std::to_string(driverId));
    return 1;
}

int32_t FakeEngine::InitServer(ServerInitInfo* info) {
    Record("InitServer " + std::to_string(info->maxPlayers));
    lastInit = std::make_unique<ServerInitInfo>(*info);
    return initResult;
}

int32_t FakeEngine::GetEngineVersion(int32_t* major, int32_t* minor, int32_t* build) {
    Record("GetEngineVersion");
    *major = versionMajor;
    *minor = versionMinor;
    *build = versionBuild;
    return 1;
}

int32_t FakeEngine::GetTraffic(float* send, float* receive) {
    Record("GetTraffic");
    *send = sendRate;
    *receive = receiveRate;
    return 1;
}
