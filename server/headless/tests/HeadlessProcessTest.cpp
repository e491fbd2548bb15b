// The program run with --headless, as a process in a copy of the demo install directory on the
// real simulated engine: what an operator or a service manager sees of it.
#include <QJsonDocument>
#include <QRegularExpression>
#include <csignal>
#include <utility>

#include "HeadlessProcess.h"

namespace {

TEST_F(HeadlessProcess, RunsTakesCommandsOnStandardInputAndStopsCleanlyOnSigterm) {
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
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_TRUE(output.contains("stopping on SIGTERM"));
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
}

TEST_F(HeadlessProcess, RuntimeChangesBansAndTheOwnerPasswordOutliveARestartAndNoPasswordShows) {
    const QString passwordFile = install.filePath("admin-password");
    QFile file(passwordFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret-pw\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther));
    Start({"--headless", "--admin-password-file", passwordFile});
    EXPECT_EQ(WaitForExit(), 2);
    EXPECT_TRUE(server.readAllStandardError().contains("is readable by others"));

    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
    Start({"--headless", "--admin-password-file", passwordFile});
    ASSERT_TRUE(WaitForOutput("the remote admin password is set from its file"));
    server.write("maxplayers 20\n+serverpassword \"hunter22\"\nban Quill 0 spam\nsim_join Quill\n");
    ASSERT_TRUE(WaitForOutput("Dropped \"Quill\"")) << output.toStdString();
    ASSERT_TRUE(WaitForOutput("Configuration saved to tarnwick/server.cfg."))
        << output.toStdString();
    EXPECT_TRUE(output.contains("+serverpassword \"********\""));
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);

    const QString first = std::exchange(output, QString());
    Start();
    server.write("maxplayers\nsim_join Quill\n");
    ASSERT_TRUE(WaitForOutput("\"maxplayers\" is \"20\"")) << output.toStdString();
    ASSERT_TRUE(WaitForOutput("Dropped \"Quill\"")) << output.toStdString();
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
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
    Set("TARNWICK_SIM_FAIL", "tick");
    Start();
    EXPECT_EQ(WaitForExit(), 3);  // the engine stopped by itself
    EXPECT_TRUE(output.contains("The server engine has stopped.")) << output.toStdString();

    Set("TARNWICK_SIM_FAIL", "resources");
    Start();
    EXPECT_EQ(WaitForExit(), 3);
    EXPECT_TRUE(output.contains("start-up failed: the engine could not register its resources"));

    Set("TARNWICK_SIM_FAIL", "create");
    Start();
    EXPECT_EQ(WaitForExit(), 1);

    Set("TARNWICK_SIM_FAIL", "");
    Start({"--headless", "--bogus"});
    EXPECT_EQ(WaitForExit(), 2);
    EXPECT_TRUE(QString::fromUtf8(server.readAllStandardError()).contains("--bogus"));

    Start({"--headless", "--help"});
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(output.contains("--log-format"));

    output.clear();
    Start({"--headless", "--version"});
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(output.startsWith("server 1.")) << output.toStdString();

    Start();
    ASSERT_TRUE(WaitForOutput("Starting game server"));
    server.write("QUIT\n");  // typed by the operator: a clean end
    EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(HeadlessProcess, JsonLogLinesAreWholeObjects) {
    Start({"--headless", "--log-format", "json"});
    ASSERT_TRUE(WaitForOutput("\"type\":\"join\""));
    ::kill(static_cast<pid_t>(server.processId()), SIGINT);
    EXPECT_EQ(WaitForExit(), 0);
    const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 3);
    uint64_t lastSeq = 0;
    for (const QString& line : lines) {
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
}

// A second server in the same install directory names the first and ends with 2 before it
// touches the engine; in JSON the reason is an error object, not a console line.
TEST_F(HeadlessProcess, ASecondServerInTheInstallDirectoryNamesTheFirstAndEndsWithTwo) {
    Start();
    ASSERT_TRUE(WaitForOutput("Starting game server"));
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
    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_FALSE(QFile::exists(install.filePath("tarnwick/server.lock")));
}

// The stop line goes out from the signal handler: a second signal at once ends the process by
// that signal, but never before the line is written.
TEST_F(HeadlessProcess, TheStopLineIsWrittenEvenWhenASecondSignalFollowsAtOnce) {
    Start();
    ASSERT_TRUE(WaitForOutput(" joined: "));
    const auto pid = static_cast<pid_t>(server.processId());
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(), -1) << "ended by the second signal";
    EXPECT_TRUE(output.contains(QRegularExpression("Z stopping on SIG(TERM|INT)\n")))
        << output.right(500).toStdString();
}

// The service manager's side of the notify protocol: a datagram socket of its own.
TEST_F(HeadlessProcess, SpeaksTheNotifyProtocolWithAWatchdogOnlyWhileTheWorkerTicks) {
    const QString path = install.filePath("notify.sock");
    manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    Set("NOTIFY_SOCKET", path);
    Set("WATCHDOG_USEC", "300000");

    Start();
    ASSERT_TRUE(WaitForOutput(" joined: "));
    server.write("quit\n");
    EXPECT_EQ(WaitForExit(), 0);
    ::close(manager);
    const QStringList& messages = notifications;
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.front(), "READY=1");
    EXPECT_EQ(messages.back(), "STOPPING=1") << messages.join(" ").toStdString();
    EXPECT_GE(messages.count("WATCHDOG=1"), 2) << messages.join(' ').toStdString();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const QString& m) { return m.startsWith("STATUS=World worlds/"); }));

    // An engine whose Tick never answers gets no ping: the worker does not move.
    notifications.clear();
    manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QFile::remove(path);
    ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    Set("TARNWICK_SIM_FAIL", "tick");
    Start();
    EXPECT_EQ(WaitForExit(), 3);
    ::close(manager);
    EXPECT_EQ(notifications.count("WATCHDOG=1"), 0) << notifications.join(' ').toStdString();
    EXPECT_EQ(notifications.back(), "STOPPING=1");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
