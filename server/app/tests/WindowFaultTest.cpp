// Faults from outside, met by the program with its window (offscreen): the window runs on
// without what cannot start, and says why.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <utility>

#include "HeadlessProcess.h"
#include "ServerApp.h"
#include "ServerEngine.h"

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
        // The engine closes the window after about three seconds: it ran until then.
        environment.insert("TARNWICK_SIM_CLOSE_AFTER_TICKS", "90");
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

TEST_F(WindowFaults, APortThatIsTakenLeavesTheWindowRunningWithoutTheWebAdmin) {
    const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);

    QElapsedTimer clock;
    clock.start();
    server.start(TARNWICK_SERVER_PROGRAM,
                 {"-s", "--web-admin", QString::number(ntohs(address.sin_port))});
    ASSERT_TRUE(server.waitForStarted(10000));
    ASSERT_TRUE(server.waitForFinished(60000));
    ::close(taken);
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0) << "the engine's close ended the window's run";
    EXPECT_GE(clock.elapsed(), 2500) << "the window ran until the engine closed it";
    const QString errors = QString::fromUtf8(server.readAllStandardError());
    EXPECT_TRUE(errors.contains("the web admin cannot start")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("is taken")) << errors.toStdString();
}

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

// A second window in the same install directory names the first and ends with 2 (here once a
// SIGTERM closes its message box); SIGTERM ends the first as Quit does, with the engine released.
TEST_F(WindowFaults, ASecondWindowInTheInstallDirectoryEndsAndSigtermEndsTheFirstInOrder) {
    QProcessEnvironment environment = server.processEnvironment();
    environment.remove("TARNWICK_SIM_CLOSE_AFTER_TICKS");
    environment.insert("TARNWICK_ENGINE_TRACE", demo + "/trace.txt");
    server.setProcessEnvironment(environment);
    server.start(TARNWICK_SERVER_PROGRAM, {"-s"});
    ASSERT_TRUE(server.waitForStarted(10000));
    const auto traced = [&](const char* call) {
        QFile trace(demo + "/trace.txt");
        return trace.open(QIODevice::ReadOnly) && trace.readAll().contains(call);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return traced("\tTick\t"); }, 20000));

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
    EXPECT_TRUE(server.readAllStandardError().contains("server: stopping on SIGTERM"));
    EXPECT_TRUE(traced("\tReleaseServerEngine"));
    EXPECT_FALSE(traced("OVERLAP"));
    EXPECT_FALSE(QFile::exists(demo + "/tarnwick/server.lock"));
}

// Root may write anywhere. This thread, and the threads it starts meanwhile, give that up for the
// guard's life, so a directory's mode counts for them as for the service's own user.
class WithoutWriteOverride {
public:
    WithoutWriteOverride() { Set(false); }
    ~WithoutWriteOverride() { Set(true); }

private:
    static void Set(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
        if (::syscall(SYS_capget, &header, caps) != 0) return;
        const uint32_t mask = CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH);
        caps[0].effective =
            on ? caps[0].effective | (caps[0].permitted & mask) : caps[0].effective & ~mask;
        ::syscall(SYS_capset, &header, caps);
    }
};

// In this process, so the window's console can be read: the configuration, the command history
// and the audit log each cannot be written; each is said, and the window and its web admin run on.
TEST_F(WindowFaults, AnInstallDirectoryItMayNotWriteIsSaidForEachFileAndTheWindowRunsOn) {
    const QString tarnwick = demo + "/tarnwick";
    QFile config(tarnwick + "/server.cfg");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("+remoteadminpassword \"fault-pass-7\"\n");
    config.close();
    ::chmod(config.fileName().toLocal8Bit().constData(), 0444);
    ::chmod(tarnwick.toLocal8Bit().constData(), 0555);
    WithoutWriteOverride guard;
    if (QFile probe(tarnwick + "/probe"); probe.open(QIODevice::WriteOnly))
        GTEST_SKIP() << "this process may write to a read-only directory whatever its mode";

    qputenv("XDG_CONFIG_DIRS", scratch.path().toLocal8Bit());
    qputenv("TARNWICK_SIM_BOTS", "2");
    qputenv("TARNWICK_SIM_CLOSE_AFTER_TICKS", "150");
    qunsetenv("TARNWICK_SIM_FAIL");
    const QString home = QDir::currentPath();
    QDir::setCurrent(demo);
    const uint16_t port = FreePort();
    std::atomic<int> wrong = 0, right = 0;
    std::thread client([&] {
        QElapsedTimer clock;
        clock.start();
        while ((wrong = Post(port, "/api/login", "{\"password\":\"not it\"}")) == 0 &&
               clock.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        right = Post(port, "/api/login", "{\"password\":\"fault-pass-7\"}");
    });
    QString console;
    bool typed = false;
    QTimer typist;  // once both logins are answered, a command typed in the window
    QObject::connect(&typist, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* view = window->findChild<QPlainTextEdit*>("consoleView")) {
                console = view->toPlainText();
                if (right == 0 || std::exchange(typed, true)) continue;
                auto* field = window->findChild<QLineEdit*>("commandField");
                field->setText("say still here");
                QTest::keyClick(field, Qt::Key_Return);
            }
    });
    typist.start(100);
    const EngineModule module{&CreateServerEngine, &ReleaseServerEngine};
    EXPECT_EQ(ServerApp(module).Run({"server", "-s", "--web-admin", QString::number(port)}), 0);
    client.join();
    QDir::setCurrent(home);

    EXPECT_EQ(wrong, 401);
    EXPECT_EQ(right, 200);
    for (const char* said :
         {"Cannot write the configuration file tarnwick/server.cfg: the settings of this run are "
          "lost",
          "Web admin: cannot write the audit log: tarnwick/admin-audit.log",
          "Command history: tarnwick/command-history cannot be written",
          "commands are kept for this run only", "Server: still here"})
        EXPECT_TRUE(console.contains(said)) << said << " in:\n" << console.toStdString();
    QStringList files = QDir(tarnwick).entryList(QDir::Files);
    files.sort();
    EXPECT_EQ(files.join(' ').toStdString(), "README quillon.so server.cfg");
    ::chmod(tarnwick.toLocal8Bit().constData(), 0755);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
