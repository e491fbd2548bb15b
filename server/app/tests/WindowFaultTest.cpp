// Faults from outside, met by the program with its window (offscreen): the window runs on
// without what cannot start, and says why.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

namespace {

class WindowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        demo = scratch.path() + "/demo";
        ASSERT_EQ(std::system(("cp -r '" + std::string(TARNWICK_DEMO_DIRECTORY) + "' '" +
                               demo.toStdString() + "' && rm -f '" + demo.toStdString() +
                               "/tarnwick/server.cfg'")
                                  .c_str()),
                  0);
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
