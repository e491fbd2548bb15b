// The program with --web-admin, as an operator starts it: headless and with the window, in a
// copy of the demo install directory whose configuration holds the remote admin password.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <thread>

#include "WebTestClient.h"

namespace {

class WebFrontEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        demo = scratch.path() + "/demo";
        ASSERT_EQ(
            std::system(("cp -r " + std::string(TARNWICK_DEMO_DIRECTORY) + " " +
                         demo.toStdString() + " && rm -f " + demo.toStdString() +
                         "/tarnwick/server.cfg " + demo.toStdString() + "/tarnwick/admin-audit.log")
                            .c_str()),
            0);
        std::ofstream(demo.toStdString() + "/tarnwick/server.cfg")
            << "+remoteadminpassword \"frontend9\"\n";
        ::close(Bind(port));
    }
    void TearDown() override {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(10000);
        }
    }

    // A loopback socket bound to `port` (0: any free one), and the port it got.
    static int Bind(uint16_t& port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        return fd;
    }

    void Start(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TARNWICK_SIM_BOTS", "2");
        server.setProcessEnvironment(environment);
        server.setWorkingDirectory(demo);
        server.start(TARNWICK_SERVER_PROGRAM, arguments);
        ASSERT_TRUE(server.waitForStarted(10000));
    }

    // The health answer once the server listens, or 0 when it never did.
    int Healthz() {
        for (int i = 0; i < 200; ++i) {
            const HttpReply reply = Http(port, {"GET", "/healthz", {}, {}});
            if (reply.status != 0) return reply.status;
            if (server.state() == QProcess::NotRunning) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }

    int Login() {
        const std::string origin = "http://127.0.0.1:" + std::to_string(port);
        return Http(port, {"POST",
                           "/api/login",
                           "{\"password\":\"frontend9\"}",
                           {{"Content-Type", "application/json"}, {"Origin", origin}}})
            .status;
    }

    QTemporaryDir scratch;
    QString demo;
    uint16_t port = 0;
    QProcess server;
};

TEST_F(WebFrontEnd, HeadlessServesTheWebAdminWithThePasswordFromItsConfiguration) {
    Start({"--headless", "--web-admin", QString::number(port)});
    EXPECT_EQ(Healthz(), 200);
    EXPECT_EQ(Login(), 200);
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(20000));
    EXPECT_EQ(server.exitCode(), 0);
    const QString output = server.readAllStandardOutput();
    EXPECT_TRUE(
        output.contains(QStringLiteral("Web admin: serving http://127.0.0.1:%1/").arg(port)))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Web admin: 127.0.0.1")) << output.toStdString();
}

TEST_F(WebFrontEnd, HeadlessRefusesABadValueAndEndsWhenThePortIsTaken) {
    Start({"--headless", "--web-admin", "127.0.0.1:http"});
    ASSERT_TRUE(server.waitForFinished(20000));
    EXPECT_EQ(server.exitCode(), 2);
    EXPECT_TRUE(server.readAllStandardError().contains("--web-admin"));

    const int taken = Bind(port);
    ASSERT_GE(taken, 0);
    ::listen(taken, 1);
    Start({"--headless", "--web-admin", QString::number(port)});
    ASSERT_TRUE(server.waitForFinished(20000));
    ::close(taken);
    EXPECT_EQ(server.exitCode(), 3);
    EXPECT_TRUE(server.readAllStandardOutput().contains("is taken"));
}

TEST_F(WebFrontEnd, TheWindowServesTheWebAdminToo) {
    Start({"-s", "--web-admin", QString::number(port)});
    EXPECT_EQ(Healthz(), 200);
    EXPECT_EQ(Login(), 200);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
