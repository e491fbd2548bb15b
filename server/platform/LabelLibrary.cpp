#include "LabelLibrary.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <utility>

LabelLibrary::LabelLibrary(QString path) : path(std::move(path)) {}

LabelLibrary::~LabelLibrary() {
    Unload();
}

bool LabelLibrary::Load() {
    if (IsLoaded()) return true;
    // Resolved against the current directory at load time, not by the loader's search path. Only
    // that file: QLibrary tries other names when the one given does not exist.
    const QString file = QDir::current().absoluteFilePath(path);
    if (!QFileInfo(file).isFile()) {
        error = QStringLiteral("%1: no such file").arg(file);
        return false;
    }
    library.setFileName(file);
    if (!library.load()) {
        error = library.errorString();
        return false;
    }
    loadString = reinterpret_cast<LoadStringFunction>(library.resolve("quillon_load_string"));
    if (loadString == nullptr) {
        error = QStringLiteral("%1 does not export quillon_load_string").arg(library.fileName());
        library.unload();
    }
    return IsLoaded();
}

void LabelLibrary::Unload() {
    if (library.isLoaded()) library.unload();
    loadString = nullptr;
}

std::string LabelLibrary::LoadLabelText(uint32_t id) const {
    if (loadString == nullptr) return {};
    char buffer[kBufferSize] = {};
    int32_t copied = loadString(id, buffer, kBufferSize);
    // The library's answer is not trusted beyond the buffer.
    if (copied <= 0) return {};
    buffer[kBufferSize - 1] = '\0';
    return std::string(buffer, std::min<std::size_t>(copied, std::strlen(buffer)));
}
