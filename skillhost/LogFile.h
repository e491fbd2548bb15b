// One log, known by its content (LogHead), and how far it has been read: reads the lines added
// since, in batches, and hands each batch to the session. Several names and copies of the same
// log share one LogFile.
//
// Only whole lines are read: a line still being written waits for its line break, so a line
// written in two pieces is read once, whole. (A run over a finished log without a store may
// take a last line that has none.)
#pragma once

#include "LogHead.h"
#include "LogListing.h"
#include "RatingSession.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class LogFile {
public:
    LogFile(LogHead head, RatingSession& session, std::size_t batchEvents);

    const LogHead& Head() const { return head; }
    std::uint64_t Offset() const { return offset; }
    bool Failed() const { return failed; }
    // A whole last line is still missing its line break.
    bool Unfinished() const { return unfinished; }
    // The bytes before the offset may differ in the next file read: check them before going on.
    void Recheck() { rebuilt = false; }

    // Rates what `fd` (a file holding this log, `path`, open for reading) holds beyond what is
    // rated. Returns early, between batches, when `stop` says so. Throws HostError naming the
    // file and line for a bad line, after rating every line before it; the log is then failed
    // and reads no more.
    void CatchUp(int fd, const std::string& path, bool lastLineMayBeUnfinished,
                 const std::function<bool()>& stop);

private:
    void Open(int fd, const std::string& path);
    void Rebuild(int fd, const std::string& path);
    // Calls `line` for each line from `from`, up to `to` or the last line break before it.
    // Answers the offset just past the last line passed.
    template <typename LineFunction>
    std::uint64_t Scan(int fd, const std::string& path, std::uint64_t from, std::uint64_t to,
                       bool takeUnfinished, LineFunction&& line);
    void Flush();
    [[noreturn]] void Fail(const std::string& path, std::uint64_t lineNumber,
                           const std::string& what);

    LogHead head;
    RatingSession& session;
    std::size_t batchEvents;
    std::unique_ptr<LogListing> listing;
    Batch batch;
    RatingSession::Log log;
    bool opened = false;   // known to the store
    bool rebuilt = false;  // the listing read up to `offset`
    std::uint64_t offset = 0;
    std::uint64_t lines = 0;
    bool failed = false;
    bool unfinished = false;
};
