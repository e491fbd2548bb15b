// One server per install directory. Two servers in one directory would share and overwrite its
// configuration, audit log and event logs, so each program takes an exclusive flock on
// `tarnwick/server.lock` at start, before anything binds the engine or a port, and writes its
// process id into the file for the one that comes second. The kernel drops the lock when the
// process ends, a crash included; an orderly end also removes the file.
//
// A lock file that cannot be made or opened (a read-only install directory) takes nothing and
// stops nothing: the caller says why and goes on, since the server itself may still run there.
#pragma once

#include <sys/types.h>

#include <string>

class InstallLock {
public:
    static constexpr const char* kPath = "tarnwick/server.lock";
    enum class State { Held, HeldByAnother, NotTaken };

    // Takes the lock on the file at `path`, relative to the current directory.
    explicit InstallLock(std::string path = kPath);
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    State GetState() const { return state_; }
    // HeldByAnother: the holder's process id as its file says, 0 when it says none.
    pid_t Holder() const { return holder_; }
    // For the operator, one line: who holds the directory, or why there is no lock; empty while
    // it is held here.
    std::string Message() const;

private:
    std::string path_;
    State state_ = State::NotTaken;
    int fd_ = -1;
    bool ownsFile_ = false;  // written by this process, so removed at the end
    pid_t holder_ = 0;
    std::string problem_;
};
