#include "CommandHistoryFile.h"

#include <sys/stat.h>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "CommandHistory.h"

CommandHistoryFile::Loaded CommandHistoryFile::Load() const {
    Loaded loaded;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return loaded;
    const auto refuse = [&](const std::string& why) {
        loaded.entries.clear();
        loaded.problem = path.toStdString() + " " + why;
        return loaded;
    };
    // A fifo or a device could block the window or never end.
    if (!info.isFile()) return refuse("is not a regular file");
    if (info.size() > kMaxFileBytes)
        return refuse("is larger than " + std::to_string(kMaxFileBytes) + " bytes");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse("cannot be read (" + file.errorString().toStdString() + ")");
    const QByteArray bytes = file.read(kMaxFileBytes + 1);  // it may have grown since
    if (bytes.size() > kMaxFileBytes)
        return refuse("is larger than " + std::to_string(kMaxFileBytes) + " bytes");

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path.toStdString() + " cannot be written (" + file.errorString().toStdString() + ")";
    // The temporary file takes the old file's mode otherwise; commands may hold passwords.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return path.toStdString() + " cannot be made private to its owner";
    }
    QByteArray bytes;
    for (const std::string& entry : entries) {
        bytes.append(entry.data(), static_cast<qsizetype>(entry.size()));
        bytes.append('\n');
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        return path.toStdString() + " cannot be written (" + file.errorString().toStdString() + ")";
    return {};
}
