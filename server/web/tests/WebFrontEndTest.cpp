// The program with --web-admin, as an operator starts it: headless and with the window, in a
// copy of the demo install directory whose configuration holds the remote admin password.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <fstream>
#include <string_view>
#include <thread>

#include "HeadlessProcess.h"
#include "WebTestClient.h"

namespace {

// Longer than the 32 bytes a setting's field holds: it must be compared whole.
constexpr std::string_view kPassword = "forty-characters-long-password-frontend9";
static_assert(kPassword.size() == 40);

class WebFrontEnd : public HeadlessProcess {
protected:
    void SetUp() override {
        HeadlessProcess::SetUp();
        QFile::remove(install.filePath("tarnwick/admin-audit.log"));
        std::ofstream(install.filePath("tarnwick/server.cfg").toStdString())
            << "+remoteadminpassword \"" << kPassword << "\"\n";
        Set("QT_QPA_PLATFORM", "offscreen");
    }

    // The health answer once the server runs (the web admin listens, answering 503, from before
    // the start), the last one when it never did, or 0 when it never listened.
    int Healthz() {
        int status = 0;
        for (int i = 0; i < 200 && status != 200; ++i) {
            status = Http(port, {"GET", "/healthz", {}, {}}).status;
            if (server.state() == QProcess::NotRunning) break;
            if (status != 200) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status;
    }
    HttpReply Post(const std::string& target, const std::string& body,
                   const std::string& cookie = {}) {
        return Http(port, JsonPost(port, target, body, cookie));
    }
    std::string Login(const std::string& password = std::string(kPassword)) {
        const HttpReply login = Post("/api/login", "{\"password\":\"" + password + "\"}");
        EXPECT_EQ(login.status, 200) << login.body;
        return CookieOf(login);
    }
    QJsonArray GetJson(const std::string& target, const std::string& cookie) {
        const HttpReply reply = Http(port, {"GET", target, {}, {{"Cookie", cookie}}});
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).array();
    }

    uint16_t port = FreePort();
    const QString web = QString::number(port);
};

// A first start without a password, as on a box without a screen: the terminal alone is told the
// setup address, and the password set there opens the web admin; a quit from it ends the run as
// one typed on the terminal would, not as a failure a service manager would restart.
TEST_F(WebFrontEnd, HeadlessPrintsASetupAddressAndAQuitFromTheWebEndsTheRunCleanly) {
    std::ofstream(install.filePath("tarnwick/server.cfg").toStdString(), std::ios::trunc)
        << "maxplayers 8\n";
    Start({"--headless", "--web-admin", web});
    EXPECT_EQ(Healthz(), 200);
    ASSERT_TRUE(
        WaitUntil([&] { return output.contains(QRegularExpression("token=[0-9a-f]{32}")); }));
    const std::string token = output.mid(output.indexOf("/setup#token=") + 13, 32).toStdString();
    const std::string setup = "{\"token\":\"" + token + "\",\"password\":\"first-owner-9\"}";
    ASSERT_EQ(Post("/setup", setup).status, 200) << output.toStdString();
    EXPECT_EQ(Post("/api/command", "{\"command\":\"quit\"}", Login("first-owner-9")).status, 200);
    EXPECT_EQ(WaitForExit(20000), 0);
    for (const QString& said : {QStringLiteral("Web admin: serving http://127.0.0.1:%1/").arg(port),
                                QStringLiteral("the server quit, as asked from the web 127.0.0.1")})
        EXPECT_TRUE(output.contains(said)) << output.toStdString();
}

// Every tenth tick 150 ms long: within two seconds of the command, by the server's own clock, a
// sample on /api/health shows it, /metrics counts the overruns, and the log has a health line
// (written at once when the server turns unhealthy, else only once a minute). Then a Tick that
// never returns: /healthz and the console say so, the service manager's watchdog is triggered and
// pinged no more, and SIGTERM still ends the program, as a failure.
TEST_F(WebFrontEnd, ASlowEngineShowsInTheHealthFiguresAndAHungOneEndsAsAFailure) {
    ListenAsServiceManager();
    Start({"--headless", "--web-admin", web});
    ASSERT_EQ(Healthz(), 200);
    const std::string cookie = Login();
    server.write("sim_slow 150 10\n");
    ASSERT_TRUE(server.waitForBytesWritten(5000));

    double commandTime = 0, slowSampleTime = 0;
    HttpReply metrics;
    for (int i = 0; i < 100 && slowSampleTime == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const auto& line : GetJson("/api/console?after=0", cookie))
            if (line.toObject()["text"].toString().startsWith("Every 10. tick takes 150 ms"))
                commandTime = line.toObject()["time"].toDouble();
        for (const auto& sample : GetJson("/api/health", cookie))
            if (commandTime != 0 && slowSampleTime == 0 &&
                sample.toObject()["tickMaxMs"].toDouble() >= 150)
                slowSampleTime = sample.toObject()["time"].toDouble();
        metrics = Http(port, {"GET", "/metrics", {}, {{"Cookie", cookie}}});
    }
    ASSERT_NE(commandTime, 0);
    ASSERT_NE(slowSampleTime, 0);
    EXPECT_LE(slowSampleTime - commandTime, 2000);
    EXPECT_EQ(metrics.body.find("\ntarnwick_tick_overruns_total 0\n"), std::string::npos);
    EXPECT_NE(metrics.body.find("\ntarnwick_tick_overruns_total "), std::string::npos);
    EXPECT_NE(metrics.body.find("\ntarnwick_worker_up 1\n"), std::string::npos);

    server.write("sim_hang\n");
    HttpReply health;
    EXPECT_TRUE(WaitUntil([&] {
        return (health = Http(port, {"GET", "/healthz", {}, {}})).status == 503;
    }));
    EXPECT_NE(health.body.find("has not moved for"), std::string::npos) << health.body;
    EXPECT_NE(Http(port, {"GET", "/metrics", {}, {{"Cookie", cookie}}})
                  .body.find("\ntarnwick_worker_up 0\n"),
              std::string::npos);
    // The status pass says so on the console at its own pace, which may come after /healthz.
    EXPECT_TRUE(WaitForOutput("The server engine is not responding")) << output.toStdString();
    EXPECT_TRUE(notifications.contains("WATCHDOG=trigger"))
        << notifications.join(' ').toStdString();
    const qsizetype pings = notifications.count("WATCHDOG=1");
    WaitUntil([] { return false; }, 600);
    EXPECT_EQ(notifications.count("WATCHDOG=1"), pings) << notifications.join(' ').toStdString();
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(20000), 3);
    EXPECT_TRUE(output.contains("health: ")) << "no health line";
    EXPECT_TRUE(output.contains("could not be released")) << output.toStdString();
}

TEST_F(WebFrontEnd, TheWindowServesTheWebAdminToo) {
    Start({"-s", "--web-admin", web});
    EXPECT_EQ(Healthz(), 200);
    Login();
}

}  // namespace
