#include "ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

    std::string temporary = path + ".XXXXXX";
    // mkstemp creates the file with mode 0600: the passwords are never readable by others.
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
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
