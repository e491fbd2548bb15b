#include "PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace private_file {

ReadResult Read(const QString& path, qint64 maxBytes, bool ownerOnly) {
    ReadResult result;
    const std::string name = path.toStdString();
    const auto refuse = [&](const std::string& why) {
        result.bytes.clear();
        result.problem = name + " " + why;
        return result;
    };
    // Opened without waiting, then judged by what was opened: a fifo put in its place between a
    // look and the open cannot block the server.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) {
            result.missing = true;
            return result;
        }
        return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse("is not a regular file");
    }
    if (ownerOnly && (info.st_mode & (S_IROTH | S_IWOTH)) != 0) {
        ::close(fd);
        return refuse("is readable by others (chmod o-rwx it)");
    }
    const std::string tooLarge = "is larger than " + std::to_string(maxBytes) + " bytes";
    if (info.st_size > maxBytes) {
        ::close(fd);
        return refuse(tooLarge);
    }
    char buffer[4096];
    for (;;) {  // it may have grown since
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return refuse(std::string("cannot be read (") + std::strerror(error) + ")");
        }
        if (n == 0) break;
        result.bytes.append(buffer, n);
        if (result.bytes.size() > maxBytes) {
            ::close(fd);
            return refuse(tooLarge);
        }
    }
    ::close(fd);
    return result;
}

std::string Write(const QString& path, const QByteArray& bytes) {
    const std::string name = path.toStdString();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return name + " cannot be written (" + file.errorString().toStdString() + ")";
    // The temporary file takes the old file's mode otherwise.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return name + " cannot be made private to its owner";
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        return name + " cannot be written (" + file.errorString().toStdString() + ")";
    return {};
}

}  // namespace private_file
