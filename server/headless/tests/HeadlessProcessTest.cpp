// The program run with --headless, as a process in a copy of the demo install directory on the
// real simulated engine: what an operator or a service manager sees of it.
#include <QJsonDocument>
#include <QRegularExpression>
#include <cstdlib>
#include <utility>

#include "HeadlessProcess.h"

namespace {

TEST_F(HeadlessProcess, RunsTakesCommandsSpeaksTheNotifyProtocolAndStopsCleanlyOnSigterm) {
    ListenAsServiceManager();
    Start();
    ASSERT_TRUE(WaitForOutput("Starting game server on world worlds/antarctica"))
        << output.toStdString();
    ASSERT_TRUE(WaitForOutput(" joined: ")) << output.toStdString();
    server.write("status\n");
    ASSERT_TRUE(WaitForOutput("Z status\n")) << output.toStdString();  // the echo
    ASSERT_TRUE(WaitForOutput("Players: ")) << output.toStdString();   // and the engine's answer
    server.closeWriteChannel();  // the end of input does not end the server
    ASSERT_TRUE(WaitForOutput("standard input ended"));
    EXPECT_EQ(server.state(), QProcess::Running);

    QElapsedTimer stopping;
    stopping.start();
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_TRUE(output.contains(QRegularExpression("Z stopping on SIGTERM\n")));
    QFile config(install.filePath("tarnwick/server.cfg"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_TRUE(config.readAll().contains("\nffteam 0.5\n"));

    // The worker stopped stepping before the host was detached and the engine released.
    const QStringList trace = Trace();
    qsizetype lastTick = -1, detach = -1, release = -1;
    for (qsizetype i = 0; i < trace.size(); ++i) {
        const QStringList fields = trace[i].split('\t');
        const QString name = fields.value(2);
        if (name == "Tick") lastTick = i;
        if (name == "AttachHost" && fields.value(3) == "NULL") detach = i;
        if (name == "ReleaseServerEngine") release = i;
        EXPECT_NE(trace[i], "OVERLAP");
    }
    ASSERT_GT(lastTick, 0);
    EXPECT_GT(detach, lastTick);
    EXPECT_GT(release, detach);

    const std::string told = notifications.join(' ').toStdString();
    ASSERT_FALSE(notifications.isEmpty());
    EXPECT_EQ(notifications.front(), "READY=1");
    EXPECT_EQ(notifications.back(), "STOPPING=1") << told;
    EXPECT_GE(notifications.count("WATCHDOG=1"), 2) << told;
    EXPECT_FALSE(notifications.filter(QRegularExpression("^STATUS=World worlds/")).isEmpty());
}

TEST_F(HeadlessProcess, RuntimeChangesBansAndTheOwnerPasswordOutliveARestartAndNoPasswordShows) {
    const QString passwordFile = install.filePath("admin-password");
    QFile file(passwordFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret-pw\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
    Start({"--headless", "--admin-password-file", passwordFile});
    ASSERT_TRUE(WaitForOutput("the remote admin password is set from its file"));
    server.write("maxplayers 20\n+serverpassword \"hunter22\"\nban Quill 0 spam\nsim_join Quill\n");
    ASSERT_TRUE(WaitForOutput("Dropped \"Quill\"")) << output.toStdString();
    ASSERT_TRUE(WaitForOutput("Configuration saved to tarnwick/server.cfg."))
        << output.toStdString();
    EXPECT_TRUE(output.contains("+serverpassword \"********\""));
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);

    const QString first = std::exchange(output, QString());
    Start();
    server.write("maxplayers\nsim_join Quill\n");
    ASSERT_TRUE(WaitForOutput("\"maxplayers\" is \"20\"")) << output.toStdString();
    ASSERT_TRUE(WaitForOutput("Dropped \"Quill\"")) << output.toStdString();
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);

    QFile config(install.filePath("tarnwick/server.cfg"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QByteArray saved = config.readAll();
    EXPECT_TRUE(saved.contains("+remoteadminpassword \"s3cret-pw\"\n"));
    EXPECT_TRUE(saved.contains("+serverpassword \"hunter22\"\n"));
    for (const QString& run : {first, output}) {
        EXPECT_FALSE(run.contains("hunter22"));
        EXPECT_FALSE(run.contains("s3cret"));
    }
    for (const QString& line : Trace())  // the ban commands are the server's own
        EXPECT_FALSE(line.contains("ExecuteCommand") && line.contains("\"ban "))
            << line.toStdString();
}

TEST_F(HeadlessProcess, ExitStatusesTellAServiceManagerWhatHappened) {
    const QString openPassword = install.filePath("open-password");
    QFile file(openPassword);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret-pw\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther));
    const std::string dir = install.path().toStdString();  // a TLS key others may read
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -days 2 -subj /CN=localhost -keyout " +
                           dir + "/key.pem -out " + dir + "/cert.pem 2>/dev/null && chmod 644 " +
                           dir + "/key.pem")
                              .c_str()),
              0);
    const QStringList tls = {"--web-admin", QString::number(FreePort()),
                             "--web-cert",  install.filePath("cert.pem"),
                             "--web-key",   install.filePath("key.pem")};
    const struct {
        const char* fail;    // TARNWICK_SIM_FAIL
        const char* agones;  // AGONES_SDK_HTTP_PORT
        QStringList arguments;
        int status;
        bool onStandardError;
        const char* said;
    } cases[] = {
        {"create", "", {}, 1, true, "start-up failed"},
        {"", "", {"--bogus"}, 2, true, "--bogus"},
        {"", "", {"--help"}, 0, false, "--log-format"},
        {"", "", {"--version"}, 0, false, "^server 1\\."},
        {"", "", {"--admin-password-file", openPassword}, 2, true, "is readable by others"},
        {"", "", {"--web-admin", "127.0.0.1:http"}, 2, true, "--web-admin"},
        {"", "", tls, 2, true, "the web admin cannot start.*key\\.pem"},
        {"", "http://localhost:9358", {}, 2, true, "AGONES_SDK_HTTP_PORT"},
    };
    for (const auto& c : cases) {
        const std::string name = c.fail + c.arguments.join(' ').toStdString() + c.agones;
        Set("TARNWICK_SIM_FAIL", c.fail);
        Set("AGONES_SDK_HTTP_PORT", c.agones);
        output.clear();
        Start(QStringList{"--headless"} + c.arguments);
        EXPECT_EQ(WaitForExit(), c.status) << name;
        const QString said =
            c.onStandardError ? QString::fromUtf8(server.readAllStandardError()) : output;
        EXPECT_TRUE(said.contains(QRegularExpression(c.said)))
            << name << ": " << said.toStdString();
    }
}

// A second server in the same install directory names the first and ends with 2 before it
// touches the engine; in JSON the reason is an error object, not a console line.
TEST_F(HeadlessProcess, ASecondServerInTheInstallDirectoryNamesTheFirstAndEveryJsonLineIsWhole) {
    Start({"--headless", "--log-format", "json"});
    ASSERT_TRUE(WaitForOutput("\"type\":\"join\""));
    QProcess second;
    second.setProcessEnvironment(server.processEnvironment());
    second.setWorkingDirectory(install.path());
    second.start(ProgramPath(), {"--headless", "--log-format", "json"});
    ASSERT_TRUE(second.waitForFinished(8000));
    EXPECT_EQ(second.exitCode(), 2);
    const QString holder = "(process " + QString::number(server.processId()) + ")";
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains(holder));
    const QStringList lines =
        QString::fromUtf8(second.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonDocument last = QJsonDocument::fromJson(lines.back().toUtf8());
    EXPECT_EQ(last["level"], "error");
    EXPECT_TRUE(last["text"].toString().contains(holder)) << lines.back().toStdString();
    EXPECT_EQ(Trace().filter("\tCreateServerEngine").size(), 1) << "the second bound nothing";
    server.write("status\n");  // some more console lines, each to be numbered
    ASSERT_TRUE(WaitForOutput("Players: ")) << output.toStdString();
    Signal(SIGINT);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_FALSE(QFile::exists(install.filePath("tarnwick/server.lock")));

    uint64_t lastSeq = 0;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject());
        if (doc["type"] == "console") {
            const auto seq = static_cast<uint64_t>(doc["seq"].toInteger());
            EXPECT_EQ(seq, lastSeq + 1);  // no line of the console goes missing
            lastSeq = seq;
        }
    }
    EXPECT_GT(lastSeq, 1u);
}

// The stop line goes out from the signal handler: a second signal at once ends the process by
// that signal, but never before the line is written.
TEST_F(HeadlessProcess, TheStopLineIsWrittenEvenWhenASecondSignalFollowsAtOnce) {
    Start();
    ASSERT_TRUE(WaitForOutput(" joined: "));
    Signal(SIGTERM);
    Signal(SIGINT);
    EXPECT_EQ(WaitForExit(), -1) << "ended by the second signal";
    EXPECT_TRUE(output.contains(QRegularExpression("Z stopping on SIG(TERM|INT)\n")))
        << output.right(500).toStdString();
}

}  // namespace
