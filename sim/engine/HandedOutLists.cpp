#include "HandedOutLists.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

struct KnownDriver {
    int32_t id;
    const char* name;
};
// The TCP/IP driver is deliberately not first: the host has to walk the list to find it.
constexpr KnownDriver kDrivers[] = {
    {1, "Local Loopback"}, {2, "Internet TCP/IP"}, {3, "LAN Broadcast"}};

}  // namespace

FileEntry* HandedOutLists::ListDirectory(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), error);
    if (error) return nullptr;

    struct Found {
        std::string name;
        bool regular;
    };
    std::vector<Found> found;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        std::error_code statError;
        found.push_back({it->path().filename().string(), it->is_regular_file(statError)});
    }
    if (found.empty()) return nullptr;
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });

    std::string prefix = directory;
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';

    auto list = std::make_unique<FileList>();
    list->names.reserve(found.size() * 2);
    list->entries.resize(found.size());
    for (const Found& entry : found) {
        list->names.push_back(entry.name);
        list->names.push_back(prefix + entry.name);
    }
    // Pointers are taken only once the name vector has stopped growing.
    for (size_t i = 0; i < found.size(); ++i) {
        FileEntry& entry = list->entries[i];
        entry.kind = found[i].regular ? 1u : 2u;
        entry.file_name = list->names[2 * i].c_str();
        entry.full_name = list->names[2 * i + 1].c_str();
        entry.next = i + 1 < found.size() ? &list->entries[i + 1] : nullptr;
    }
    FileEntry* head = list->entries.data();
    fileLists.emplace(head, std::move(list));
    return head;
}

bool HandedOutLists::ReleaseFiles(FileEntry* head) {
    return fileLists.erase(head) != 0;
}

NetworkDriverRecord* HandedOutLists::ListDrivers() {
    constexpr size_t count = sizeof kDrivers / sizeof kDrivers[0];
    auto list = std::make_unique<std::vector<NetworkDriverRecord>>(count);
    for (size_t i = 0; i < count; ++i) {
        NetworkDriverRecord& record = (*list)[i];
        std::memset(&record, 0, sizeof record);
        record.driverId = kDrivers[i].id;
        std::strncpy(record.name, kDrivers[i].name, sizeof record.name - 1);
        record.next = i + 1 < count ? &(*list)[i + 1] : nullptr;
    }
    NetworkDriverRecord* first = list->data();
    driverLists.emplace(first, std::move(list));
    return first;
}

bool HandedOutLists::ReleaseDrivers(NetworkDriverRecord* first) {
    return driverLists.erase(first) != 0;
}

const char* HandedOutLists::DriverName(int32_t driverId) {
    for (const KnownDriver& driver : kDrivers) {
        if (driver.id == driverId) return driver.name;
    }
    return nullptr;
}
