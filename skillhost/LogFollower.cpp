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

std::vector<std::string> LogFollower::Candidates() const {
    if (!directory) return {path};
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) throw HostError(Errno("cannot read", path));
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsLogName(entry->d_name)) names.emplace_back(entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        throw HostError(Errno("cannot read", path));
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> files;
    const std::string prefix = path.ends_with("/") ? path : path + "/";
    for (const std::string& name : names) files.push_back(prefix + name);
    return files;
}

void LogFollower::CatchUp(const Options& options, std::ostream& err) {
    std::vector<std::string> todo;
    if (lookAtAll) {
        todo = Candidates();
        // Logs that are gone take their listings with them.
        std::erase_if(files, [&](const auto& file) {
            if (std::binary_search(todo.begin(), todo.end(), file.first)) return false;
            firstNames.erase(file.second->Identity());
            return true;
        });
    } else {
        const std::string prefix = path.ends_with("/") ? path : path + "/";
        for (const std::string& name : changed) todo.push_back(directory ? prefix + name : path);
        std::sort(todo.begin(), todo.end());
    }
    lookAtAll = false;
    changed.clear();
    for (const std::string& file : todo) {
        if (options.stop()) return;
        try {
            CatchUpFile(file, !directory, options);
        } catch (const StoreError&) {
            throw;
        } catch (const HostError& error) {
            ++failures;
            if (!options.keepGoing) throw;
            err << "skillhost: " << output_text::TerminalText(error.what()) << '\n';
        }
    }
}

void LogFollower::CatchUpFile(const std::string& file, bool named, const Options& options) {
    // Non-blocking, so that a FIFO named like a log cannot hang the host.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.fd < 0) {
        if (errno == ENOENT && !named) return;  // gone since the directory was read
        throw HostError(Errno("cannot open", file));
    }
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) throw HostError(Errno("cannot read", file));
    if (!S_ISREG(info.st_mode)) {
        if (!named) return;
        throw HostError("cannot read " + file + ": not a file");
    }
    // A link to a log followed under another name (current.log) is that log, rated once.
    const auto name = firstNames.try_emplace({info.st_dev, info.st_ino}, file).first;
    if (name->second != file) return;
    auto& log = files[file];
    if (!log || !log->Is(info.st_dev, info.st_ino)) {
        // A new file under a known name is a new log.
        if (log) firstNames.erase(log->Identity());
        log = std::make_unique<LogFile>(file, info.st_dev, info.st_ino, session, batchEvents);
    }
    log->CatchUp(fd.fd, options.takeUnfinishedLastLine, options.stop);
}

void LogFollower::Watch() {
    inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) throw HostError(Errno("cannot follow", path));
    const uint32_t mask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB |
                          IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(inotifyFd, watchedDir.c_str(), mask) < 0) {
        throw HostError(Errno("cannot follow", watchedDir));
    }
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
            if ((event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
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
    for (const auto& [file, log] : files) {
        if (log->Unfinished()) paths.push_back(file);
    }
    return paths;
}
