#include "SignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The pipe's write end as the handler sees it; -1 while no bridge is installed.
std::atomic<int> handlerFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

void SetAction(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);  // one handler at a time; a second signal waits for it
    sigaddset(&action.sa_mask, SIGINT);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

// Only async-signal-safe calls here.
extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    SetAction(SIGTERM, SIG_DFL);
    SetAction(SIGINT, SIG_DFL);
    const int fd = handlerFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a request, which is all the loop needs.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
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
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::ReadPipe);
    ::sigaction(SIGTERM, nullptr, &previousTerm_);
    ::sigaction(SIGINT, nullptr, &previousInt_);
    SetAction(SIGTERM, OnTerminationSignal);
    SetAction(SIGINT, OnTerminationSignal);
}

SignalBridge::~SignalBridge() {
    if (!IsInstalled()) return;
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGINT, &previousInt_, nullptr);
    handlerFd.store(-1);
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}

void SignalBridge::ReadPipe() {
    unsigned char bytes[16];
    int first = 0;
    ssize_t count;
    while ((count = ::read(readFd_, bytes, sizeof bytes)) > 0 || (count < 0 && errno == EINTR))
        if (count > 0 && first == 0) first = bytes[0];
    if (first == 0 || emitted_) return;
    emitted_ = true;
    emit TerminationRequested(first);
}
