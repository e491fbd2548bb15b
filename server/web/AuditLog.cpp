#include "AuditLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

#include "ByteText.h"

AuditLog::~AuditLog() {
    if (fd_ >= 0) ::close(fd_);
}

std::string AuditLog::Line(const AuditEvent& event, int64_t timeMs) {
    const auto text = [](const std::string& bytes) {
        return QString::fromStdString(byte_text::ToUtf8(bytes));
    };
    QJsonObject line{
        {"time", QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs)},
        {"address", text(event.address)},
        {"action", text(event.action)},
        {"outcome", text(event.outcome)},
    };
    if (!event.session.empty()) line.insert("session", text(event.session));
    if (!event.account.empty()) line.insert("account", text(event.account));
    if (!event.detail.empty()) line.insert("detail", text(event.detail));
    return QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString();
}

void AuditLog::Reopen() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool AuditLog::Fail() {
    error_ = path_ + ": " + std::strerror(errno);
    ++failures_;
    return false;
}

bool AuditLog::Open() {
    if (fd_ >= 0) {
        // One stat a line: audit lines are few, and a rotation is then never missed.
        struct stat atPath {
        }, held{};
        if (::stat(path_.c_str(), &atPath) == 0 && ::fstat(fd_, &held) == 0 &&
            atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino)
            return true;
        Reopen();
    }
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return Fail();
    // An older file may have been made readable by others; it names addresses and commands.
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && (info.st_mode & 0777) != 0600) ::fchmod(fd_, 0600);
    return true;
}

bool AuditLog::Record(const AuditEvent& event, int64_t timeMs) {
    if (!Open()) return false;
    const std::string line = Line(event, timeMs) + '\n';
    // O_APPEND writes of one line land whole; a short write is finished rather than left torn.
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        written += static_cast<std::size_t>(n);
    }
    error_.clear();
    return true;
}
