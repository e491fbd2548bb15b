#include "ConfigFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool WriteAndSync(int fd, const std::string& text) {
    bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written;
}

// Writes the text to an unnamed file in the directory of `path` and gives it a free name beside
// it only once it is whole, so that a process killed while writing leaves no file behind. False
// when the file system or /proc cannot do that; nothing is left then either.
bool WriteUnnamed(const std::string& path, const std::string& text, std::string& temporary) {
    const size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    bool whole = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    for (unsigned attempt = 0; whole && attempt < 100; ++attempt) {
        temporary = path + ".new" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            ::close(fd);
            return true;
        }
        if (errno != EEXIST) break;
    }
    ::close(fd);
    return false;
}

// A process killed between naming its whole file and the rename leaves `path.new<pid>-<n>`
// behind; the next write removes those whose process is gone.
void RemoveLeftovers(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + ".new";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name.substr(0, prefix.size()) != prefix) continue;
        const std::string rest(name.substr(prefix.size()));
        char* end = nullptr;
        const long pid = std::strtol(rest.c_str(), &end, 10);
        if (pid <= 0 || end == rest.c_str() || *end != '-') continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            ::unlink((directory + "/" + std::string(name)).c_str());
        }
    }
}

}  // namespace

std::string ConfigFile::CommandFor(const ConsoleVariable& variable) {
    if (variable.isText) return "+" + variable.name + " \"" + variable.text + "\"";
    return variable.name + " " + ConsoleVariables::FormatNumber(variable.number);
}

bool ConfigFile::Write(const ConsoleVariables& variables, const std::string& path,
                       uint32_t flagMask) {
    if (path.empty()) return false;
    std::string text = "// Server configuration: console commands, one per line.\n";
    for (const ConsoleVariable& variable : variables.All()) {
        if ((variable.flags & flagMask) == flagMask) text += CommandFor(variable) + "\n";
    }

    RemoveLeftovers(path);
    // The file holds passwords: mode 0600 from the start, never readable by others.
    std::string temporary;
    bool written = WriteUnnamed(path, text, temporary);
    if (!written) {
        temporary = path + ".XXXXXX";
        const int fd = ::mkstemp(temporary.data());
        if (fd < 0) return false;
        written = WriteAndSync(fd, text);
    }
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool ConfigFile::Read(const std::string& path, const std::function<void(std::string_view)>& runLine,
                      const std::function<void(size_t)>& reject) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::string line;
    bool tooLong = false;
    size_t lineNumber = 0;
    auto finish = [&] {
        ++lineNumber;
        if (tooLong) {
            reject(lineNumber);
        } else {
            std::string_view view(line.data(), strnlen(line.data(), line.size()));
            if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
            if (view.size() > kMaxLineLength) {
                reject(lineNumber);
            } else {
                runLine(view);
            }
        }
        line.clear();
        tooLong = false;
    };
    int c;
    while (lineNumber < kMaxLines && (c = std::fgetc(file.get())) != EOF) {
        if (c == '\n') {
            finish();
        } else if (line.size() <= kMaxLineLength) {  // one more for a CR
            line += static_cast<char>(c);
        } else {
            tooLong = true;
        }
    }
    if ((!line.empty() || tooLong) && lineNumber < kMaxLines) finish();
    return true;
}
