#include "StdinCommandReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// What one wake-up reads at most, so endless input (a file like /dev/zero) cannot hold the
// event loop; the rest waits for the next turn.
constexpr qsizetype kBytesPerWakeUp = 64 * 1024;

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

StdinCommandReader::StdinCommandReader(int fd, QObject* parent) : QObject(parent), fd_(fd) {}

StdinCommandReader::~StdinCommandReader() {
    Stop();
}

void StdinCommandReader::Start() {
    if (notifier_ != nullptr) return;
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0) {
        emit ReadFailed(QStringLiteral("standard input cannot be read: %1").arg(ErrorText(errno)));
        return;
    }
    if ((flags & O_NONBLOCK) == 0) {
        if (::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
            emit ReadFailed(
                QStringLiteral("standard input cannot be read: %1").arg(ErrorText(errno)));
            return;
        }
        originalFlags_ = flags;
    }
    if (::isatty(fd_)) std::signal(SIGTTIN, SIG_IGN);  // a background read then fails with EIO
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StdinCommandReader::ReadAvailable);
}

void StdinCommandReader::Stop() {
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
        // Stop() may run from a slot called inside the notifier's own signal.
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (originalFlags_ >= 0) {
        ::fcntl(fd_, F_SETFL, originalFlags_);
        originalFlags_ = -1;
    }
}

void StdinCommandReader::ReadAvailable() {
    char buffer[4096];
    qsizetype taken = 0;
    while (IsReading() && taken < kBytesPerWakeUp) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count > 0) {
            taken += count;
            TakeBytes(buffer, count);
        } else if (count == 0) {
            if (!line_.isEmpty() && !discarding_) FinishLine();
            if (!IsReading()) return;
            Stop();
            emit InputEnded();
            return;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else if (errno == EIO && ::isatty(fd_)) {
            // In the background of its terminal: the input is the foreground job's for now.
            notifier_->setEnabled(false);
            QTimer::singleShot(kBackgroundRetryMs, notifier_,
                               [notifier = notifier_] { notifier->setEnabled(true); });
            return;
        } else {
            const int error = errno;
            Stop();
            emit ReadFailed(QStringLiteral("reading standard input failed: %1, no more commands")
                                .arg(ErrorText(error)));
            return;
        }
    }
}

void StdinCommandReader::TakeBytes(const char* bytes, qsizetype size) {
    while (size > 0 && IsReading()) {
        const auto* newline = static_cast<const char*>(std::memchr(bytes, '\n', size_t(size)));
        const qsizetype partLength = newline != nullptr ? newline - bytes : size;
        if (!discarding_) {
            if (line_.size() + partLength > kMaxLineBytes) {
                discarding_ = true;
                line_.clear();
                emit LineRefused(QStringLiteral("a command line longer than %1 bytes was refused")
                                     .arg(kMaxLineBytes));
            } else {
                line_.append(bytes, partLength);
            }
        }
        if (newline == nullptr) return;
        bytes += partLength + 1;
        size -= partLength + 1;
        if (discarding_) {
            discarding_ = false;
        } else {
            FinishLine();
        }
    }
}

void StdinCommandReader::FinishLine() {
    QByteArray line;
    line.swap(line_);
    if (line.endsWith('\r')) line.chop(1);
    if (line.contains('\0')) {
        emit LineRefused(QStringLiteral("a command line holding a NUL byte was refused"));
    } else {
        emit LineRead(line);
    }
}
