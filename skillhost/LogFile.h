// One log file and how far it has been rated: reads the lines added since, in batches, and
// hands each batch to the session.
//
// Only whole lines are read: a line still being written waits for its line break, so a line
// written in two pieces is read once, whole. (A run over a finished log without a store may
// take a last line that has none.)
#pragma once

#include "LogListing.h"
#include "RatingSession.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class LogFile {
public:
    LogFile(std::string path, dev_t device, ino_t inode, RatingSession& session,
            std::size_t batchEvents);

    const std::string& Path() const { return path; }
    bool Is(dev_t otherDevice, ino_t otherInode) const {
        return device == otherDevice && inode == otherInode;
    }
    std::pair<dev_t, ino_t> Identity() const { return {device, inode}; }
    bool Failed() const { return failed; }
    // A whole last line is still missing its line break.
    bool Unfinished() const { return unfinished; }

    // Rates what `fd` (this file, open for reading) holds beyond what is rated. Returns early,
    // between batches, when `stop` says so. Throws HostError naming the file and line for a bad
    // line, after rating every line before it; the file is then failed and reads no more.
    void CatchUp(int fd, bool lastLineMayBeUnfinished, const std::function<bool()>& stop);

private:
    bool Open(int fd, std::uint64_t size);
    void Rebuild(int fd);
    // Calls `line` for each line from `from`, up to `to` or the last line break before it.
    // Answers the offset just past the last line passed.
    template <typename LineFunction>
    std::uint64_t Scan(int fd, std::uint64_t from, std::uint64_t to, bool takeUnfinished,
                       LineFunction&& line);
    void Flush();
    [[noreturn]] void Fail(std::uint64_t lineNumber, const std::string& what);

    std::string path;
    dev_t device;
    ino_t inode;
    RatingSession& session;
    std::size_t batchEvents;
    std::unique_ptr<LogListing> listing;
    Batch batch;
    std::int64_t logId = 0;
    bool opened = false;   // known to the store
    bool rebuilt = false;  // the listing read up to `offset`
    std::uint64_t offset = 0;
    std::uint64_t lines = 0;
    bool failed = false;
    bool unfinished = false;
};
