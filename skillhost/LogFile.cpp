#include "LogFile.h"

#include "HostError.h"
#include "LogLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kReadSize = 1 << 20;

// Where logs lived, as the first version of the store knew them.
const std::string& MachineId() {
    static const std::string id = [] {
        std::string text;
        std::getline(std::ifstream("/etc/machine-id"), text);
        if (text.size() > 64) text.resize(64);
        if (!text.empty()) return text;
        char name[256] = {};
        ::gethostname(name, sizeof name - 1);
        return std::string(name);
    }();
    return id;
}

}  // namespace

LogFile::LogFile(LogHead head, RatingSession& session, std::size_t batchEvents)
    : head(std::move(head)), session(session), batchEvents(batchEvents) {}

void LogFile::Fail(const std::string& path, std::uint64_t lineNumber, const std::string& what) {
    failed = true;
    throw HostError::AtLine(path, lineNumber, what);
}

template <typename LineFunction>
std::uint64_t LogFile::Scan(int fd, const std::string& path, std::uint64_t from, std::uint64_t to,
                            bool takeUnfinished, LineFunction&& line) {
    std::vector<char> buffer(kReadSize + LogLine::kMaxLength + 1);
    std::uint64_t position = from;  // of buffer[0]
    std::size_t have = 0;
    while (position + have < to) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size() - have, to - position - have));
        const ssize_t got =
            ::pread(fd, buffer.data() + have, want, static_cast<off_t>(position + have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw HostError("cannot read " + path + ": " + std::strerror(errno));
        if (got == 0) break;  // cut short while we read: the rest is for later
        have += static_cast<std::size_t>(got);
        std::size_t start = 0;
        for (;;) {
            const auto* end =
                static_cast<const char*>(std::memchr(buffer.data() + start, '\n', have - start));
            if (end == nullptr) break;
            const std::size_t length = static_cast<std::size_t>(end - (buffer.data() + start));
            const std::uint64_t next = position + start + length + 1;
            if (!line(std::string_view(buffer.data() + start, length), position + start, next)) {
                return next;
            }
            start += length + 1;
        }
        // A line this long without its break is refused by the parser, and nothing after it
        // is read.
        if (have - start > LogLine::kMaxLength) {
            line(std::string_view(buffer.data() + start, have - start), position + start,
                 position + have);
            return position + start;
        }
        std::memmove(buffer.data(), buffer.data() + start, have - start);
        position += start;
        have -= start;
    }
    unfinished = have > 0;
    if (takeUnfinished && have > 0) {
        line(std::string_view(buffer.data(), have), position, position + have);
        unfinished = false;
        return position + have;
    }
    return position;
}

void LogFile::Open(int fd, const std::string& path) {
    LogIdentity identity{head.identities, path, head.map, head.started,
                         MachineId(),     0,    0,        LogHead::Hash(head.firstLine)};
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        identity.device = static_cast<std::uint64_t>(info.st_dev);
        identity.inode = static_cast<std::uint64_t>(info.st_ino);
    }
    Position from;
    log = session.OpenLog(identity, from);
    offset = from.offset;
    lines = from.lines;
    listing = session.NewListing();
    rebuilt = offset == 0;
    opened = true;
}

void LogFile::Rebuild(int fd, const std::string& path) {
    // The players, the clock and who is in the match before the offset, so that the lines after
    // it read as they would have.
    Batch scratch;
    std::uint64_t lineNumber = 0;
    listing = session.NewListing();
    const std::uint64_t end = Scan(
        fd, path, 0, offset, false, [&](std::string_view text, std::uint64_t at, std::uint64_t) {
            ++lineNumber;
            try {
                listing->Read(LogLine::Parse(text), at, session.Weapons(), scratch);
            } catch (const LogLineError& error) {
                Fail(path, lineNumber, error.what());
            }
            scratch.Clear(0, 0);
            return true;
        });
    if (end != offset || lineNumber != lines) {
        failed = true;
        throw HostError(path + ": its first " + std::to_string(offset) +
                        " bytes changed after they were rated");
    }
    rebuilt = true;
}

void LogFile::Flush() {
    if (batch.endOffset == batch.startOffset) return;
    session.Rate(log, *listing, batch);
    offset = batch.endOffset;
    lines = batch.endLine;
    batch.Clear(offset, lines);
}

void LogFile::CatchUp(int fd, const std::string& path, bool lastLineMayBeUnfinished,
                      const std::function<bool()>& stop) {
    if (failed) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw HostError("cannot read " + path + ": " + std::strerror(errno));
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (!opened) Open(fd, path);
    // Shorter than what is counted: a copy still being made, or a log being written again.
    if (size <= offset) return;
    // Only a log that has grown needs its listing back: a directory of old logs costs nothing.
    if (!rebuilt) Rebuild(fd, path);
    batch.Clear(offset, lines);
    std::uint64_t lineNumber = lines;
    bool stopped = false;
    Scan(fd, path, offset, size, lastLineMayBeUnfinished,
         [&](std::string_view text, std::uint64_t at, std::uint64_t end) {
             ++lineNumber;
             try {
                 listing->Read(LogLine::Parse(text), at, session.Weapons(), batch);
             } catch (const LogLineError& error) {
                 Flush();
                 Fail(path, lineNumber, error.what());
             }
             batch.endOffset = end;
             batch.endLine = lineNumber;
             if (batch.eventCount < batchEvents) return true;
             Flush();
             stopped = stop();
             return !stopped;
         });
    Flush();
}
