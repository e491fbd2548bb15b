#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "SystemdNotifier.h"

namespace {

using std::chrono::seconds;

// Sets or clears the notify variables for one test and clears them after.
struct NotifyEnvironment {
    static constexpr const char* kNames[] = {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"};
    NotifyEnvironment(const char* socket, const char* usec = nullptr, const char* pid = nullptr) {
        const char* values[] = {socket, usec, pid};
        for (int i = 0; i < 3; ++i)
            values[i] ? setenv(kNames[i], values[i], 1) : unsetenv(kNames[i]);
    }
    ~NotifyEnvironment() {
        for (const char* name : kNames) unsetenv(name);
    }
};

// The manager's end: a datagram socket bound to a path, or to an abstract name.
class ManagerSocket {
public:
    explicit ManagerSocket(const std::string& name) {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = name;
        if (path[0] == '@') path[0] = '\0';
        path.copy(address.sun_path, path.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~ManagerSocket() { ::close(fd); }

    std::string Receive() {
        char buffer[2048];
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        return count < 0 ? "<nothing>" : std::string(buffer, std::size_t(count));
    }

    int fd = -1;
};

TEST(SystemdNotifierTest, SendsEachMessageAsOneDatagramToAPathOrAnAbstractSocket) {
    QTemporaryDir directory;
    for (const std::string& name : {directory.filePath(QStringLiteral("notify")).toStdString(),
                                    "@tarnwick-notify-test-" + std::to_string(::getpid())}) {
        ManagerSocket manager{name};
        NotifyEnvironment environment{name.c_str()};
        SystemdNotifier notifier;
        ASSERT_TRUE(notifier.IsActive()) << name;
        notifier.Ready();
        notifier.Status("3 players, 30.0 updates/s\nREADY=1");
        notifier.WatchdogPing();
        notifier.WatchdogTrigger();
        notifier.Stopping();
        for (const char* message : {"READY=1", "STATUS=3 players, 30.0 updates/s READY=1",
                                    "WATCHDOG=1", "WATCHDOG=trigger", "STOPPING=1"})
            EXPECT_EQ(manager.Receive(), message) << name;
    }
}

TEST(SystemdNotifierTest, DoesNothingWithoutAUsableSocketName) {
    for (const char* name :
         {static_cast<const char*>(nullptr), "", "@", "relative/notify", "vsock:2:1234"}) {
        NotifyEnvironment environment{name, "10000000"};
        SystemdNotifier notifier;
        EXPECT_FALSE(notifier.IsActive()) << (name ? name : "unset");
        EXPECT_FALSE(notifier.WatchdogPingInterval());
        notifier.Ready();  // harmless
    }
    const std::string tooLong = "/" + std::string(sizeof(sockaddr_un::sun_path) - 1, 'n');
    NotifyEnvironment environment{tooLong.c_str()};
    EXPECT_FALSE(SystemdNotifier().IsActive());
}

TEST(SystemdNotifierTest, PingsAtHalfTheWatchdogTimeOnlyForTheProcessItNames) {
    const std::string self = std::to_string(::getpid());
    const std::string other = std::to_string(::getpid() + 1);
    const struct {
        const char* usec;
        const char* pid;
        bool pinged;
    } cases[] = {
        {"10000000", nullptr, true},
        {"10000000", self.c_str(), true},
        {"10000000", other.c_str(), false},
        {"10000000", "me", false},
        {"10s", nullptr, false},
        {"0", nullptr, false},
        {"99999999999999999999999", nullptr, false},
        {nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        NotifyEnvironment environment{"@tarnwick-unused", c.usec, c.pid};
        SystemdNotifier notifier;
        EXPECT_EQ(notifier.WatchdogPingInterval().has_value(), c.pinged)
            << (c.usec ? c.usec : "-") << " " << (c.pid ? c.pid : "-");
        if (c.pinged) {
            EXPECT_EQ(*notifier.WatchdogPingInterval(), seconds(5));
            EXPECT_EQ(*notifier.WatchdogTimeout(), seconds(10));
        }
    }
}

TEST(SystemdNotifierTest, StatusIsCutAtACharacterAndSendingNeverBlocks) {
    const std::string name = "@tarnwick-notify-full-" + std::to_string(::getpid());
    ManagerSocket manager{name};
    NotifyEnvironment environment{name.c_str()};
    SystemdNotifier notifier;
    std::string text(SystemdNotifier::kMaxStatusBytes - 1, 'w');
    text += "\xc3\xa9";  // a two-byte character across the limit
    notifier.Status(text);
    EXPECT_EQ(manager.Receive(),
              "STATUS=" + std::string(SystemdNotifier::kMaxStatusBytes - 1, 'w'));
    // Nobody reads: the queue fills and the rest is dropped without waiting.
    for (int i = 0; i < 5000; ++i) notifier.Status(text);
    ::close(manager.fd);
    manager.fd = -1;
    notifier.Stopping();  // the manager went away
}

}  // namespace
