#include "LogFollower.h"

#include "HostError.h"
#include "OutputText.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

std::string Errno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool IsLogName(const std::string& name) {
    return name.size() > 4 && name.front() != '.' && name.ends_with(".log");
}

struct FileDescriptor {
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    int fd;
};

// Up to `length` bytes from the start of the file; fewer when it is shorter.
std::string ReadStart(int fd, std::size_t length, const std::string& path) {
    std::string bytes(length, '\0');
    std::size_t have = 0;
    while (have < length) {
        const ssize_t got =
            ::pread(fd, bytes.data() + have, length - have, static_cast<off_t>(have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw HostError(Errno("cannot read", path));
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

}  // namespace

LogFollower::LogFollower(std::string path, RatingSession& session, std::size_t batchEvents)
    : path(std::move(path)), session(session), batchEvents(batchEvents) {
    struct stat info {};
    if (::stat(this->path.c_str(), &info) != 0) throw HostError(Errno("cannot open", this->path));
    directory = S_ISDIR(info.st_mode);
    if (!directory && !S_ISREG(info.st_mode)) {
        throw HostError("cannot read " + this->path + ": not a file or a directory");
    }
    if (directory) {
        watchedDir = this->path;
    } else {
        const std::size_t slash = this->path.rfind('/');
        watchedDir = slash == std::string::npos ? "." : this->path.substr(0, slash + 1);
        watchedName = this->path.substr(slash == std::string::npos ? 0 : slash + 1);
    }
}

LogFollower::~LogFollower() {
    if (inotifyFd >= 0) ::close(inotifyFd);
}

void LogFollower::CatchUp(const Options& options, std::ostream& err) {
    // The directory is back after it was removed: watched again, and read whole.
    if (inotifyFd >= 0 && !watching && ::access(watchedDir.c_str(), F_OK) == 0 && AddWatch()) {
        lookAtAll = true;
    }
    std::vector<std::string> todo;
    const std::string prefix = path.ends_with("/") ? path : path + "/";
    if (lookAtAll && directory) {
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            if (errno != ENOENT || !options.keepGoing) throw HostError(Errno("cannot read", path));
            if (!gone) {
                err << "skillhost: " << output_text::TerminalText(path)
                    << " is gone; waiting for it to come back" << std::endl;
            }
            gone = true;
            return;
        }
        gone = false;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (IsLogName(entry->d_name)) todo.push_back(prefix + entry->d_name);
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) {
            errno = error;
            throw HostError(Errno("cannot read", path));
        }
        std::sort(todo.begin(), todo.end());
        std::erase_if(byPath, [&](const auto& name) {
            return !std::binary_search(todo.begin(), todo.end(), name.first);
        });
    } else if (lookAtAll) {
        todo.push_back(path);
    } else {
        for (const std::string& name : changed) todo.push_back(directory ? prefix + name : path);
    }
    lookAtAll = false;
    changed.clear();
    for (const std::string& file : todo) {
        if (options.stop()) return;
        try {
            CatchUpFile(file, options);
        } catch (const StoreError&) {
            throw;
        } catch (const HostError& error) {
            ++failures;
            if (!options.keepGoing) throw;
            err << "skillhost: " << output_text::TerminalText(error.what()) << '\n';
        }
    }
}

LogFile* LogFollower::Find(const LogHead& head) {
    for (const std::string& identity : head.identities) {
        if (const auto it = byIdentity.find(identity); it != byIdentity.end()) return it->second;
    }
    return nullptr;
}

void LogFollower::CatchUpFile(const std::string& file, const Options& options) {
    // Non-blocking, so that a FIFO named like a log cannot hang the host.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.fd < 0) {
        // Gone since the directory was read, or, when following, moved away for now.
        if (errno == ENOENT && (directory || options.keepGoing)) {
            byPath.erase(file);
            return;
        }
        throw HostError(Errno("cannot open", file));
    }
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) throw HostError(Errno("cannot read", file));
    if (!S_ISREG(info.st_mode)) {
        if (directory) return;
        throw HostError("cannot read " + file + ": not a file");
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    // The log this name held, if it still holds it: the same first line, and not shorter.
    LogFile* log = nullptr;
    if (const auto it = byPath.find(file); it != byPath.end()) {
        const std::string& first = it->second->Head().firstLine;
        const bool same = size >= it->second->Offset() &&
                          ReadStart(fd.fd, first.size() + 1, file) == first + '\n';
        if (same) log = it->second;
        if (!same) byPath.erase(it);
    }
    if (log == nullptr) {
        const auto head = LogHead::Parse(
            ReadStart(fd.fd,
                      static_cast<std::size_t>(std::min<std::uint64_t>(size, LogHead::kMaxBytes)),
                      file),
            options.takeUnfinishedLastLine, !options.keepGoing || session.Store() == nullptr);
        if (!head) return;  // its head is not whole yet
        log = Find(*head);
        if (log == nullptr) {
            logs.push_back(std::make_unique<LogFile>(*head, session, batchEvents));
            log = logs.back().get();
        } else {
            // Another name or copy of a known log may differ before where it stands.
            log->Recheck();
        }
        // Known by its whole head from now on; a log that only begins alike is another.
        byIdentity[head->identities.front()] = log;
        byPath[file] = log;
    }
    log->CatchUp(fd.fd, file, options.takeUnfinishedLastLine, options.stop);
}

bool LogFollower::AddWatch() {
    const uint32_t mask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                          IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    watching = ::inotify_add_watch(inotifyFd, watchedDir.c_str(), mask) >= 0;
    return watching;
}

void LogFollower::Watch() {
    inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0 || !AddWatch()) throw HostError(Errno("cannot follow", watchedDir));
    // Whatever was added between the first catch-up and the watch.
    lookAtAll = true;
}

bool LogFollower::Wait(int stopFd, int timeoutMs) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) throw HostError(Errno("cannot follow", path));
    if (ready <= 0) {
        lookAtAll = true;  // now and then every log, in case a change went unreported
        return false;
    }
    if (fds[0].revents != 0) return true;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(inotifyFd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len > 0 ? std::string(event->name) : std::string();
            if ((event->mask & IN_IGNORED) != 0) watching = false;
            if ((event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
                lookAtAll = true;
            } else if (directory ? IsLogName(name) : name == watchedName) {
                changed.insert(name);
            }
        }
    }
    return false;
}

std::vector<std::string> LogFollower::Unfinished() const {
    std::vector<std::string> paths;
    for (const auto& [file, log] : byPath) {
        if (log->Unfinished()) paths.push_back(file);
    }
    return paths;
}
