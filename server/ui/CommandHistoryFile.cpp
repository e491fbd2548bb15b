#include "CommandHistoryFile.h"

#include "CommandHistory.h"
#include "PrivateFile.h"

CommandHistoryFile::Loaded CommandHistoryFile::Load() const {
    Loaded loaded;
    const auto refuse = [&](const std::string& why) {
        loaded.entries.clear();
        loaded.problem = path.toStdString() + " " + why;
        return loaded;
    };
    const private_file::ReadResult read = private_file::Read(path, kMaxFileBytes);
    if (!read.problem.empty()) {
        loaded.problem = read.problem;
        return loaded;
    }
    const QByteArray& bytes = read.bytes;

    int lineNumber = 0;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) end = bytes.size();
        const std::string_view line(bytes.constData() + start,
                                    static_cast<std::size_t>(end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty()) continue;
        if (!CommandHistory::Keepable(line))
            return refuse("line " + std::to_string(lineNumber) + " is no command");
        if (loaded.entries.size() == CommandHistory::kMaxEntries)
            return refuse("holds more than " + std::to_string(CommandHistory::kMaxEntries) +
                          " commands");
        loaded.entries.emplace_back(line);
    }
    return loaded;
}

std::string CommandHistoryFile::Save(const std::deque<std::string>& entries) const {
    QByteArray bytes;
    for (const std::string& entry : entries) {
        bytes.append(entry.data(), static_cast<qsizetype>(entry.size()));
        bytes.append('\n');
    }
    return private_file::Write(path, bytes);  // commands may hold passwords
}
