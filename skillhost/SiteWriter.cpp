#include "SiteWriter.h"

#include "HostError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

void MakeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw HostError("cannot make " + path + ": " + std::strerror(errno));
    }
}

}  // namespace

SiteWriter::SiteWriter(std::string folder) : dir(std::move(folder)) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    MakeDir(dir);
}

void SiteWriter::Write(const std::string& name, const std::string& text) {
    const std::size_t hash = std::hash<std::string>()(text);
    const auto known = hashes.find(name);
    if (known != hashes.end() && known->second == hash) return;
    const std::string path = dir + "/" + name;
    if (const std::size_t slash = name.find('/'); slash != std::string::npos) {
        MakeDir(dir + "/" + name.substr(0, slash));
    }
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw HostError("cannot write " + temporary + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            throw HostError("cannot write " + temporary + ": " + std::strerror(error));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw HostError("cannot write " + path + ": " + std::strerror(error));
    }
    hashes[name] = hash;
    ++written;
}
