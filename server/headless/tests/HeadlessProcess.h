// The program run with --headless as a process, in a fresh copy of the demo install directory on
// the real simulated engine with its call trace on: starting it, feeding its standard input,
// reading its output and its trace, and the service manager's notify socket.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

inline QString ProgramPath() {
    return QStringLiteral(TARNWICK_SERVER_PROGRAM);
}

inline uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class HeadlessProcess : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code error;
        std::filesystem::copy(TARNWICK_DEMO_DIRECTORY, install.path().toStdString(),
                              std::filesystem::copy_options::recursive, error);
        ASSERT_FALSE(error) << error.message();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"TARNWICK_SIM_FAIL", "TARNWICK_SIM_CLOSE_AFTER_TICKS", "NOTIFY_SOCKET",
              "WATCHDOG_USEC", "WATCHDOG_PID", "AGONES_SDK_HTTP_PORT"})
            env.remove(name);
        env.insert("XDG_CONFIG_DIRS", install.path());  // no machine-wide install directory
        env.insert("LC_ALL", "de_DE.UTF-8");            // a comma locale must not reach the numbers
        env.insert("TARNWICK_SIM_SEED", "5");
        env.insert("TARNWICK_SIM_BOTS", "4");
        env.insert("TARNWICK_ENGINE_TRACE", install.filePath("trace.txt"));
        server.setProcessEnvironment(env);
        server.setWorkingDirectory(install.path());
    }
    void TearDown() override {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(2000);
        }
        if (manager >= 0) ::close(manager);
    }

    void Start(const QStringList& arguments = {QStringLiteral("--headless")}) {
        server.start(ProgramPath(), arguments);
        ASSERT_TRUE(server.waitForStarted(5000));
    }
    void Signal(int number) { ::kill(static_cast<pid_t>(server.processId()), number); }
    void Set(const char* name, const QString& value) {
        QProcessEnvironment env = server.processEnvironment();
        env.insert(name, value);
        server.setProcessEnvironment(env);
    }
    // The service manager's side of the notify protocol: a datagram socket of its own, and a
    // watchdog the server is to ping.
    void ListenAsServiceManager() {
        const QString path = install.filePath("notify.sock");
        manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        Set("NOTIFY_SOCKET", path);
        Set("WATCHDOG_USEC", "300000");
    }
    // Takes what the server sent the service manager's socket, if the test made one.
    void DrainNotifications() {
        char buffer[1024];
        for (ssize_t n;
             manager >= 0 && (n = ::recv(manager, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            notifications << QString::fromUtf8(buffer, n);
    }
    // Reads standard output and the notifications until `done`, for at most `ms`.
    bool WaitUntil(const std::function<bool()>& done, int ms = 8000) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms && server.state() != QProcess::NotRunning) {
            server.waitForReadyRead(50);
            DrainNotifications();
            output += QString::fromUtf8(server.readAllStandardOutput());
        }
        output += QString::fromUtf8(server.readAllStandardOutput());
        return done();
    }
    bool WaitForOutput(const QString& text, int ms = 8000) {
        return WaitUntil([&] { return output.contains(text); }, ms);
    }
    int WaitForExit(int ms = 8000) {
        QElapsedTimer clock;
        clock.start();
        while (!server.waitForFinished(20) && clock.elapsed() < ms) DrainNotifications();
        DrainNotifications();
        EXPECT_EQ(server.state(), QProcess::NotRunning);
        output += QString::fromUtf8(server.readAllStandardOutput());
        return server.exitStatus() == QProcess::NormalExit ? server.exitCode() : -1;
    }
    QStringList Trace() {
        QFile file(install.filePath("trace.txt"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir install;
    QProcess server;
    QString output;
    int manager = -1;  // the service manager's notify socket
    QStringList notifications;
};
