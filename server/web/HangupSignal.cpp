#include "HangupSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The pipe's write end as the handler sees it; -1 while no one listens.
std::atomic<int> handlerFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void OnHangup(int) {
    const int savedErrno = errno;
    const int fd = handlerFd.load();
    const unsigned char byte = 1;
    // A full pipe already holds a request, which is all the loop needs.
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

HangupSignal::HangupSignal(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    int expected = -1;
    if (!handlerFd.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        while (::read(readFd_, bytes, sizeof bytes) > 0) {
        }
        emit Received();
    });
    struct sigaction action {};
    action.sa_handler = OnHangup;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGHUP, &action, &previous_);
}

HangupSignal::~HangupSignal() {
    if (!IsInstalled()) return;
    ::sigaction(SIGHUP, &previous_, nullptr);
    handlerFd.store(-1);
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}
