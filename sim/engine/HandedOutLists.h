// The file and driver lists the engine hands to the host. The engine keeps ownership of every
// list until the host gives its head back, so a pointer the engine never handed out is refused
// instead of freed, and lists the host forgets die with the engine.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ServerEngine.h"

class HandedOutLists {
public:
    // The entries of a directory relative to the current one, sorted by name; null when it
    // cannot be read or is empty.
    FileEntry* ListDirectory(const std::string& directory);
    bool ReleaseFiles(FileEntry* head);

    NetworkDriverRecord* ListDrivers();
    bool ReleaseDrivers(NetworkDriverRecord* first);
    // The name of a driver id of the list, or null.
    static const char* DriverName(int32_t driverId);

private:
    struct FileList {
        std::vector<std::string> names;  // file name, full name, per entry
        std::vector<FileEntry> entries;
    };

    std::map<FileEntry*, std::unique_ptr<FileList>> fileLists;
    std::map<NetworkDriverRecord*, std::unique_ptr<std::vector<NetworkDriverRecord>>> driverLists;
};
