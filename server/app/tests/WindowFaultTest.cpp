// Faults from outside, met by the program with its window (offscreen): the window runs on
// without what cannot start, and says why.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <string>

#include "HeadlessProcess.h"

namespace {

class WindowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        demo = scratch.path() + "/demo";
        ASSERT_TRUE(CopyTree(TARNWICK_DEMO_DIRECTORY, demo));
        QFile::remove(demo + "/tarnwick/server.cfg");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_DIRS", scratch.path());  // no machine-wide install
        environment.insert("TARNWICK_SIM_BOTS", "2");
        environment.remove("TARNWICK_SIM_FAIL");
        server.setProcessEnvironment(environment);
        server.setWorkingDirectory(demo);
    }
    void TearDown() override {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(10000);
        }
    }

    QTemporaryDir scratch;
    QString demo;
    QProcess server;
};

// Without a display a bad option or --version is still answered: the window's command line is
// read before anything needs one.
TEST_F(WindowFaults, TheCommandLineIsReadBeforeAnythingNeedsADisplay) {
    QProcessEnvironment environment = server.processEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    server.setProcessEnvironment(environment);
    server.start(TARNWICK_SERVER_PROGRAM, {"--bogus"});
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 2);
    EXPECT_TRUE(server.readAllStandardError().contains("unknown option '--bogus'"));

    server.start(TARNWICK_SERVER_PROGRAM, {"--version"});
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_TRUE(server.readAllStandardOutput().startsWith("server 1.")) << "the project's version";
}

// The first window runs on without its web admin, whose port is taken. A second window in the
// same install directory names the first and ends with 2 (here once a SIGTERM closes its message
// box); SIGTERM ends the first as Quit does, with the engine released.
TEST_F(WindowFaults, ASecondWindowInTheInstallDirectoryEndsAndSigtermEndsTheFirstInOrder) {
    const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    QProcessEnvironment environment = server.processEnvironment();
    environment.insert("TARNWICK_ENGINE_TRACE", demo + "/trace.txt");
    server.setProcessEnvironment(environment);
    server.start(TARNWICK_SERVER_PROGRAM,
                 {"-s", "--web-admin", QString::number(ntohs(address.sin_port))});
    ASSERT_TRUE(server.waitForStarted(10000));
    const auto traced = [&](const char* call) {
        QFile trace(demo + "/trace.txt");
        return trace.open(QIODevice::ReadOnly) && trace.readAll().contains(call);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return traced("\tTick\t"); }, 20000));
    ::close(taken);  // the web admin was tried before the engine's first tick

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(demo);
    second.start(TARNWICK_SERVER_PROGRAM, {"-s"});
    second.setReadChannel(QProcess::StandardError);
    QByteArray said;
    const QByteArray holder = "(process " + QByteArray::number(server.processId()) + ")";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += second.readAllStandardError()).contains(holder); }, 20000))
        << said.toStdString();
    ::kill(static_cast<pid_t>(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 2);

    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    const QString errors = QString::fromUtf8(server.readAllStandardError());
    for (const char* line :
         {"the web admin cannot start", "is taken", "server: stopping on SIGTERM"})
        EXPECT_TRUE(errors.contains(line)) << line << " in:\n" << errors.toStdString();
    EXPECT_TRUE(traced("\tReleaseServerEngine"));
    EXPECT_FALSE(traced("OVERLAP"));
    EXPECT_FALSE(QFile::exists(demo + "/tarnwick/server.lock"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
