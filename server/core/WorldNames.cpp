#include "WorldNames.h"

#include <cstddef>

#include "ByteText.h"
#include "ServerSettings.h"

using byte_text::LowercaseAscii;

namespace {
constexpr std::string_view kWorldExtension = ".dat";
constexpr std::size_t kTrimmedSuffixLength = 4;

int DecimalDigits(int value) {
    int digits = value < 0 ? 2 : 1;
    while (value / 10 != 0) {
        value /= 10;
        ++digits;
    }
    return digits;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowercaseAscii(std::string(a)) == LowercaseAscii(std::string(b));
}

// The engine owns the list; it goes back even when copying the names fails part way.
class FileListRelease {
public:
    FileListRelease(ServerEngine& engine, FileEntry* head) : engine(engine), head(head) {}
    ~FileListRelease() {
        if (head) engine.ReleaseFileList(head);
    }
    FileListRelease(const FileListRelease&) = delete;
    FileListRelease& operator=(const FileListRelease&) = delete;

private:
    ServerEngine& engine;
    FileEntry* head;
};
}  // namespace

bool IsWorldFile(std::string_view fileName) {
    const std::size_t separator = fileName.find_last_of("/\\");
    const std::string_view component =
        separator == std::string_view::npos ? fileName : fileName.substr(separator + 1);
    const std::size_t dot = component.rfind('.');
    if (dot == std::string_view::npos) return false;
    return EqualsIgnoringAsciiCase(component.substr(dot), kWorldExtension);
}

std::string WorldNameOf(std::string_view fullName) {
    if (fullName.size() > kTrimmedSuffixLength) fullName.remove_suffix(kTrimmedSuffixLength);
    return LowercaseAscii(std::string(fullName));
}

bool RotationCanHold(std::string_view name, int index) {
    // The setter refuses every control character: a line break would end the command early.
    for (const unsigned char c : name)
        if (c < 32 || c == 127) return false;
    // "map", the index, a blank and the name, with room left for the terminating NUL.
    const std::size_t length = 3 + static_cast<std::size_t>(DecimalDigits(index)) + 1 + name.size();
    return length < static_cast<std::size_t>(ServerSettings::kCommandLineSize);
}

std::vector<std::string> CollectWorldNames(const FileEntry* head) {
    std::vector<std::string> names;
    for (const FileEntry* entry = head; entry; entry = entry->next) {
        if (entry->kind != 1 || !entry->file_name || !entry->full_name) continue;
        if (!IsWorldFile(entry->file_name)) continue;
        names.push_back(WorldNameOf(entry->full_name));
    }
    const int widestIndex = static_cast<int>(names.size());
    std::erase_if(names,
                  [&](const std::string& name) { return !RotationCanHold(name, widestIndex); });
    return names;
}

std::vector<std::string> ListWorlds(EngineAccess& access, const char* directory) {
    std::vector<std::string> names;
    access.WithEngine([&](ServerEngine& engine) {
        FileEntry* head = engine.ListFiles(directory);
        FileListRelease release(engine, head);
        names = CollectWorldNames(head);
    });
    return names;
}
