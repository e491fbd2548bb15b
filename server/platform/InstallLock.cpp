#include "InstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The holder writes its id just after it takes the lock, so an empty file may fill in a moment.
// What is read is bounded and must be a whole positive number; anything else is unknown (0).
pid_t ReadHolder(int fd) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        char text[32];
        const ssize_t count = ::pread(fd, text, sizeof text, 0);
        if (count > 0) {
            const char* end = text + count;
            while (end > text && (end[-1] == '\n' || end[-1] == ' ')) --end;
            pid_t pid = 0;
            const auto [stop, error] = std::from_chars(text, end, pid);
            return error == std::errc() && stop == end && pid > 0 ? pid : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string("this install directory") : path.string();
}

}  // namespace

InstallLock::InstallLock(std::string path) : path_(std::move(path)) {
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;  // never a link, never a fifo
    // The holder before us removes the file as it ends; a lock taken on a file no longer at the
    // path would hold nothing, so it is taken again on the one there now.
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool writable = true;
        int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            writable = false;  // a file another user left: locking needs no write access
            fd = ::open(path_.c_str(), O_RDONLY | kFlags);
        }
        if (fd < 0) {
            problem_ = std::strerror(errno);
            return;
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            problem_ = "not a regular file";
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK) {
                state_ = State::HeldByAnother;
                holder_ = ReadHolder(fd);
            } else {
                problem_ = std::strerror(error);
            }
            ::close(fd);
            return;
        }
        struct stat there {};
        if (::stat(path_.c_str(), &there) != 0 || !SameFile(opened, there)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        state_ = State::Held;
        if (writable) {
            const std::string id = std::to_string(::getpid()) + "\n";
            ownsFile_ = ::ftruncate(fd, 0) == 0 &&
                        ::pwrite(fd, id.data(), id.size(), 0) == static_cast<ssize_t>(id.size());
        }
        return;
    }
    problem_ = "it was replaced again and again";
}

InstallLock::~InstallLock() {
    if (fd_ < 0) return;
    // Removed while still held, so nobody takes a lock on a file that is about to go.
    struct stat held {};
    struct stat there {};
    if (ownsFile_ && ::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &there) == 0 &&
        SameFile(held, there))
        ::unlink(path_.c_str());
    ::close(fd_);
}

std::string InstallLock::Message() const {
    switch (state_) {
        case State::Held:
            return {};
        case State::HeldByAnother:
            return "another server runs in " + CurrentDirectory() +
                   (holder_ > 0 ? " (process " + std::to_string(holder_) + ")"
                                : std::string(" (its process id is not known)")) +
                   ": one install directory serves one server";
        case State::NotTaken:
            break;
    }
    return "cannot take the lock file " + path_ + " (" + problem_ +
           "): a second server started in this install directory would not be stopped";
}
