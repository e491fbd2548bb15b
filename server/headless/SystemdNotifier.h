// The service manager's notify protocol: one datagram per message to the AF_UNIX socket named in
// NOTIFY_SOCKET, a path or an abstract name written with a leading '@'. Without NOTIFY_SOCKET, or
// with one that names no such socket, every call does nothing.
//
// Interface: make one at start (it reads the environment then); Ready() when the server runs,
// Status(text) when the players or the update rate change, WatchdogPing() every
// WatchdogPingInterval() when WatchdogGate allows, WatchdogTrigger() when the gate sees the worker
// stuck, Stopping() on the way out. Sending never blocks and its failures are ignored: the server
// must neither stall nor die because its manager went away.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <chrono>
#include <optional>
#include <string_view>

class SystemdNotifier {
public:
    // At most this much status text is sent; more is cut at a character.
    static constexpr std::size_t kMaxStatusBytes = 512;

    SystemdNotifier();
    ~SystemdNotifier();
    SystemdNotifier(const SystemdNotifier&) = delete;
    SystemdNotifier& operator=(const SystemdNotifier&) = delete;

    bool IsActive() const { return fd_ >= 0; }

    // Half of WATCHDOG_USEC; none when the manager keeps no watchdog for this process (no
    // WATCHDOG_USEC, or a WATCHDOG_PID naming another process).
    std::optional<std::chrono::microseconds> WatchdogPingInterval() const { return pingInterval_; }
    // WATCHDOG_USEC itself, under the same conditions.
    std::optional<std::chrono::microseconds> WatchdogTimeout() const { return timeout_; }

    void Ready() { Send("READY=1"); }
    // The text is bytes shown by the byte-text rule; line breaks and other control characters
    // become spaces, so it can never add a second assignment.
    void Status(std::string_view text);
    void WatchdogPing() { Send("WATCHDOG=1"); }
    void WatchdogTrigger() { Send("WATCHDOG=trigger"); }
    void Stopping() { Send("STOPPING=1"); }

private:
    void Send(std::string_view message);

    int fd_ = -1;
    sockaddr_un address_{};
    socklen_t addressLength_ = 0;
    std::optional<std::chrono::microseconds> pingInterval_;
    std::optional<std::chrono::microseconds> timeout_;
};
