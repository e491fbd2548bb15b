#include "SignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "UtcTime.h"

namespace {

// What the handler needs, made before it is installed: it only copies and writes.
struct HandlerState {
    int pipeFd = -1;
    int lineFd = -1;
    SignalBridge::StopLine lines[2];  // SIGTERM, SIGINT
    std::string buffer;               // room for the longer line with its time
};

std::atomic<HandlerState*> handlerState{nullptr};
std::atomic<bool> firstSignalTaken{false};
std::atomic<bool> stopLineWritten{false};
std::atomic<int> handlersRunning{0};  // the state is freed only once none reads it
static_assert(std::atomic<HandlerState*>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler needs lock-free flags");

void SetAction(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);  // one handler at a time; a second signal waits for it
    sigaddset(&action.sa_mask, SIGINT);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

// Only async-signal-safe calls from here on.
void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// One write, so that no other line of the program lands inside it.
void WriteStopLine(HandlerState& state, int signalNumber) {
    if (state.lineFd < 0) return;
    const SignalBridge::StopLine& line = state.lines[signalNumber == SIGINT ? 1 : 0];
    char* out = state.buffer.data();
    std::memcpy(out, line.before.data(), line.before.size());
    out += line.before.size();
    if (line.timed) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char time[kUtcTimeLength];
        FormatUtcTime(int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000, time);
        std::memcpy(out, time, sizeof time);
        out += sizeof time;
    }
    std::memcpy(out, line.after.data(), line.after.size());
    out += line.after.size();
    WriteAll(state.lineFd, state.buffer.data(),
             static_cast<std::size_t>(out - state.buffer.data()));
}

extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    ++handlersRunning;
    HandlerState* state = handlerState.load();
    if (!firstSignalTaken.exchange(true)) {
        if (state != nullptr) {
            WriteStopLine(*state, signalNumber);
            const auto byte = static_cast<unsigned char>(signalNumber);
            // A full pipe already holds a request, which is all the loop needs.
            [[maybe_unused]] const ssize_t written = ::write(state->pipeFd, &byte, 1);
        }
        stopLineWritten.store(true);
        SetAction(SIGTERM, SIG_DFL);
        SetAction(SIGINT, SIG_DFL);
    } else {
        // The second signal reached another thread while the first one's handler still runs:
        // once the stop line is out, it ends the process as its default action would.
        while (!stopLineWritten.load()) {
        }
        SetAction(signalNumber, SIG_DFL);
        ::raise(signalNumber);  // held until this handler returns
    }
    --handlersRunning;
    errno = savedErrno;
}

}  // namespace

std::string SignalBridge::StopText(int signalNumber) {
    return signalNumber == SIGINT ? "stopping on SIGINT" : "stopping on SIGTERM";
}

SignalBridge::SignalBridge(int lineFd, const StopLineFormat& format, QObject* parent)
    : QObject(parent) {
    auto state = std::make_unique<HandlerState>();
    if (format && lineFd >= 0) {
        state->lineFd = lineFd;
        std::size_t longest = 0;
        for (const int signalNumber : {SIGTERM, SIGINT}) {
            StopLine& line = state->lines[signalNumber == SIGINT ? 1 : 0];
            line = format(StopText(signalNumber));
            longest = std::max(longest, line.before.size() + kUtcTimeLength + line.after.size());
        }
        state->buffer.resize(longest);
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    state->pipeFd = fds[1];
    HandlerState* expected = nullptr;
    if (!handlerState.compare_exchange_strong(expected, state.get())) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    state.release();
    readFd_ = fds[0];
    writeFd_ = fds[1];
    firstSignalTaken.store(false);
    stopLineWritten.store(false);
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
    HandlerState* state = handlerState.exchange(nullptr);
    while (handlersRunning.load() != 0) {
    }
    delete state;
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
