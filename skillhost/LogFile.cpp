#include "LogFile.h"

#include "HostError.h"
#include "LogLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kReadSize = 1 << 20;

// Where logs live, so that one store can tell apart the logs of several machines.
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

std::uint64_t Fingerprint(std::string_view line) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : line) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

LogFile::LogFile(std::string path, dev_t device, ino_t inode, RatingSession& session,
                 std::size_t batchEvents)
    : path(std::move(path)),
      device(device),
      inode(inode),
      session(session),
      batchEvents(batchEvents) {}

void LogFile::Fail(std::uint64_t lineNumber, const std::string& what) {
    failed = true;
    throw HostError::AtLine(path, lineNumber, what);
}

template <typename LineFunction>
std::uint64_t LogFile::Scan(int fd, std::uint64_t from, std::uint64_t to, bool takeUnfinished,
                            LineFunction&& line) {
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
            if (!line(std::string_view(buffer.data() + start, length), next)) return next;
            start += length + 1;
        }
        // A line this long without its break is refused by the parser, and nothing after it
        // is read.
        if (have - start > LogLine::kMaxLength) {
            line(std::string_view(buffer.data() + start, have - start), position + have);
            return position + start;
        }
        std::memmove(buffer.data(), buffer.data() + start, have - start);
        position += start;
        have -= start;
    }
    unfinished = have > 0;
    if (takeUnfinished && have > 0) {
        line(std::string_view(buffer.data(), have), position + have);
        unfinished = false;
        return position + have;
    }
    return position;
}

bool LogFile::Open(int fd, std::uint64_t size) {
    RatingStore* store = session.Store();
    if (store == nullptr) {
        listing = session.NewListing();
        opened = rebuilt = true;
        return true;
    }
    // The store knows a log by its place and by its first line, so that must be whole first.
    std::optional<std::string> first;
    Scan(fd, 0, std::min<std::uint64_t>(size, LogLine::kMaxLength + 1), false,
         [&](std::string_view text, std::uint64_t) {
             if (text.size() > LogLine::kMaxLength) {
                 Fail(1, "line longer than " + std::to_string(LogLine::kMaxLength) + " bytes");
             }
             first.emplace(text);
             return false;
         });
    if (!first) return false;
    const StoredLog stored =
        store->OpenLog({MachineId(), static_cast<std::uint64_t>(device),
                        static_cast<std::uint64_t>(inode), Fingerprint(*first), path});
    logId = stored.id;
    offset = stored.offset;
    lines = stored.lines;
    listing = session.NewListing();
    if (offset > size) {
        failed = true;
        throw HostError(path + ": shorter than the " + std::to_string(offset) +
                        " bytes already rated; it was changed after it was rated");
    }
    rebuilt = offset == 0;
    opened = true;
    return true;
}

void LogFile::Rebuild(int fd) {
    // The players listed before the stored offset, so that the lines after it can name them.
    Batch scratch;
    std::uint64_t lineNumber = 0;
    const std::uint64_t end = Scan(fd, 0, offset, false, [&](std::string_view text, std::uint64_t) {
        ++lineNumber;
        try {
            const LogLine line = LogLine::Parse(text);
            if (line.kind == LogLine::Kind::Player) {
                listing->Read(line, session.Weapons(), scratch);
                scratch.items.clear();
            }
        } catch (const LogLineError& error) {
            Fail(lineNumber, error.what());
        }
        return true;
    });
    if (end != offset || lineNumber != lines) {
        failed = true;
        throw HostError(path + ": its first " + std::to_string(offset) +
                        " bytes changed after they were rated");
    }
}

void LogFile::Flush() {
    if (batch.endOffset == batch.startOffset) return;
    session.Rate(logId, *listing, batch);
    offset = batch.endOffset;
    lines = batch.endLine;
    batch.Clear(offset, lines);
}

void LogFile::CatchUp(int fd, bool lastLineMayBeUnfinished, const std::function<bool()>& stop) {
    if (failed) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw HostError("cannot read " + path + ": " + std::strerror(errno));
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (!opened && !Open(fd, size)) return;
    if (size < offset) {
        failed = true;
        throw HostError(path + ": shorter than the " + std::to_string(offset) +
                        " bytes already rated; it was changed after it was rated");
    }
    if (size == offset) return;
    // Only a log that has grown needs its listing back: a directory of old logs costs nothing.
    if (!rebuilt) Rebuild(fd);
    rebuilt = true;
    batch.Clear(offset, lines);
    std::uint64_t lineNumber = lines;
    bool stopped = false;
    Scan(fd, offset, size, lastLineMayBeUnfinished, [&](std::string_view text, std::uint64_t end) {
        ++lineNumber;
        try {
            listing->Read(LogLine::Parse(text), session.Weapons(), batch);
        } catch (const LogLineError& error) {
            Flush();
            Fail(lineNumber, error.what());
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
