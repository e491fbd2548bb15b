// The logs at a path, one file or the "*.log" files of a directory in name order: rates what
// they hold and, when following, what is added to them and every new log that appears, as the
// kernel reports it (inotify), with a full look every few seconds for file systems that report
// nothing. A log is known by its content: a second name, a copy, a move or a rename of a log
// goes on where the log stands; a file whose first line changed, or that shrank, is read again
// as whatever log it now holds.
#pragma once

#include "LogFile.h"
#include "RatingSession.h"

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

class LogFollower {
public:
    // Throws HostError when the path is neither a file nor a directory.
    LogFollower(std::string path, RatingSession& session, std::size_t batchEvents);
    ~LogFollower();
    LogFollower(const LogFollower&) = delete;
    LogFollower& operator=(const LogFollower&) = delete;

    struct Options {
        bool keepGoing = false;  // following: a bad log is reported on `err`, the others go on
        bool takeUnfinishedLastLine = false;
        std::function<bool()> stop = [] { return false; };  // asked between batches
    };

    // Rates what the logs hold now: every log, or only those reported changed since the last
    // call. Throws HostError for a bad log unless keepGoing, and StoreError always.
    void CatchUp(const Options& options, std::ostream& err);
    // Starts the kernel's reports. Throws HostError.
    void Watch();
    // Waits until a log may have changed, `stopFd` is readable (answers true) or `timeoutMs`
    // passes.
    bool Wait(int stopFd, int timeoutMs);

    int Failures() const { return failures; }
    // Logs whose last line still lacks its line break.
    std::vector<std::string> Unfinished() const;

private:
    void CatchUpFile(const std::string& file, const Options& options);
    LogFile* Find(const LogHead& head);
    bool AddWatch();

    std::string path;
    bool directory = false;
    std::string watchedDir;   // the directory holding the logs
    std::string watchedName;  // the one file followed, when the path is a file
    RatingSession& session;
    std::size_t batchEvents;
    std::vector<std::unique_ptr<LogFile>> logs;
    std::map<std::string, LogFile*> byIdentity;
    std::map<std::string, LogFile*> byPath;  // what each name held when last read
    int inotifyFd = -1;
    bool watching = false;
    bool gone = false;  // the directory is missing
    bool lookAtAll = true;
    std::set<std::string> changed;
    int failures = 0;
};
