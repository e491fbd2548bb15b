// Faults from outside, met by the program with its window (offscreen): the window runs on
// without what cannot start, and says why.
#include <QTest>

#include "HeadlessProcess.h"

namespace {

class WindowFaults : public HeadlessProcess {
protected:
    void SetUp() override {
        HeadlessProcess::SetUp();
        QFile::remove(install.filePath("tarnwick/server.cfg"));
        Set("QT_QPA_PLATFORM", "offscreen");
    }
    bool Traced(const char* call) { return Trace().join('\n').contains(call); }
};

// Without a display a bad option or --version is still answered: the window's command line is
// read before anything needs one.
TEST_F(WindowFaults, TheCommandLineIsReadBeforeAnythingNeedsADisplay) {
    QProcessEnvironment environment = server.processEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    server.setProcessEnvironment(environment);
    Start({"--bogus"});
    EXPECT_EQ(WaitForExit(), 2);
    EXPECT_TRUE(server.readAllStandardError().contains("unknown option '--bogus'"));
    Start({"--version"});
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(output.startsWith("server 1.")) << "the project's version";
}

// The first window runs on without its web admin, whose port is taken. A second window in the
// same install directory names the first and ends with 2 (here once a SIGTERM closes its message
// box); SIGTERM ends the first as Quit does, with the engine released.
TEST_F(WindowFaults, ASecondWindowInTheInstallDirectoryEndsAndSigtermEndsTheFirstInOrder) {
    const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    Start({"-s", "--web-admin", QString::number(ntohs(address.sin_port))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Traced("\tTick\t"); }, 20000));
    ::close(taken);  // the web admin was tried before the engine's first tick

    QProcess second;
    second.setProcessEnvironment(server.processEnvironment());
    second.setWorkingDirectory(install.path());
    second.start(ProgramPath(), {"-s"});
    QByteArray said;
    const QByteArray holder = "(process " + QByteArray::number(server.processId()) + ")";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += second.readAllStandardError()).contains(holder); }, 20000))
        << said.toStdString();
    ::kill(static_cast<pid_t>(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 2);

    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(10000), 0);
    const QString errors = QString::fromUtf8(server.readAllStandardError());
    for (const char* line :
         {"the web admin cannot start", "is taken", "server: stopping on SIGTERM"})
        EXPECT_TRUE(errors.contains(line)) << line << " in:\n" << errors.toStdString();
    EXPECT_TRUE(Traced("\tReleaseServerEngine"));
    EXPECT_FALSE(Traced("OVERLAP"));
    EXPECT_FALSE(QFile::exists(install.filePath("tarnwick/server.lock")));
}

}  // namespace
