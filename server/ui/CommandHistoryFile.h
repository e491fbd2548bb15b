// Where the command history lives between runs: one command a line, in the install directory's
// tarnwick/ folder. The file is read as untrusted input: a file that is too large, not a regular
// file, or holds a line no command could be gives an empty history and says why. It is written
// whole through a temporary file renamed over the old one, readable by its owner only.
#pragma once

#include <QString>
#include <deque>
#include <string>
#include <vector>

class CommandHistoryFile {
public:
    static constexpr const char* kDefaultPath = "tarnwick/command-history";
    // 500 commands of 119 bytes and their line feeds fit with room to spare.
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    explicit CommandHistoryFile(QString path) : path(std::move(path)) {}

    struct Loaded {
        std::vector<std::string> entries;  // oldest first
        std::string problem;               // why the file was refused; then there are no entries
    };
    // A missing file is an empty history and no problem.
    Loaded Load() const;
    // Answers why the file could not be written, or empty.
    std::string Save(const std::deque<std::string>& entries) const;

    const QString& Path() const { return path; }

private:
    QString path;
};
