// The engine's label library, loaded by its exact file name relative to the current directory,
// and the lookup of a label's text by string id.
#pragma once

#include <QLibrary>
#include <QString>
#include <cstdint>
#include <string>

class LabelLibrary {
public:
    // The exact file, suffix included: given a bare name, the loader would also try other names
    // beside it, in a folder the service may write to.
    static constexpr const char* kDefaultPath = "tarnwick/quillon.so";
    static constexpr int kBufferSize = 260;

    explicit LabelLibrary(QString path = QString::fromLatin1(kDefaultPath));
    ~LabelLibrary();
    LabelLibrary(const LabelLibrary&) = delete;
    LabelLibrary& operator=(const LabelLibrary&) = delete;

    // Success exactly when the library loaded and exports the lookup.
    bool Load();
    void Unload();
    bool IsLoaded() const { return loadString != nullptr; }
    // Why the last Load failed, for the operator.
    QString ErrorText() const { return error; }

    // At most kBufferSize - 1 bytes; empty when not loaded or when there is no such string.
    std::string LoadLabelText(uint32_t id) const;

private:
    using LoadStringFunction = int32_t (*)(uint32_t id, char* buffer, int32_t capacity);

    QString path;
    QLibrary library;
    LoadStringFunction loadString = nullptr;
    QString error;
};
