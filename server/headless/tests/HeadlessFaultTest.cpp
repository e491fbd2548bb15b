// Faults from outside, met by the program run with --headless: an install directory it may not
// write to, kill -9 at any moment of its start-up, and standard input that is binary garbage.
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <QDir>
#include <QRegularExpression>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "HeadlessProcess.h"
#include "WebTestClient.h"

namespace {

// Root may write anywhere. The child gives up the capabilities that let it, before it runs the
// program, so a directory's mode counts for it as for the service's own user.
void WithoutWriteOverride() {
    if (::geteuid() != 0) return;
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

void SetModeOfTree(const QString& directory, mode_t directoryMode, mode_t fileMode) {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry :
         fs::recursive_directory_iterator(directory.toStdString()))
        ::chmod(entry.path().c_str(), entry.is_directory() ? directoryMode : fileMode);
    ::chmod(directory.toLocal8Bit().constData(), directoryMode);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

TEST_F(HeadlessProcess, AnInstallDirectoryItMayNotWriteIsSaidAndTheServerRunsOn) {
    const uint16_t port = FreePort();
    const QString tarnwick = install.filePath("tarnwick");
    const QByteArray config = "+remoteadminpassword \"fault-pass-7\"\n";
    ASSERT_TRUE(WriteAll(tarnwick + "/server.cfg", config));
    QFile::remove(tarnwick + "/admin-audit.log");
    SetModeOfTree(tarnwick, 0555, 0444);
    server.setChildProcessModifier(WithoutWriteOverride);

    QProcess probe;
    probe.setChildProcessModifier(WithoutWriteOverride);
    probe.start("/bin/sh", {"-c", "echo x > '" + tarnwick + "/probe'"});
    probe.waitForFinished(5000);
    if (probe.exitCode() == 0) {
        SetModeOfTree(tarnwick, 0755, 0644);
        GTEST_SKIP() << "this process may write to a read-only directory whatever its mode";
    }

    Start({"--headless", "--web-admin", QString::number(port)});
    ASSERT_TRUE(WaitForOutput("Web admin: serving")) << output.toStdString();
    EXPECT_TRUE(
        WaitForOutput("Cannot write the configuration file tarnwick/server.cfg: the "
                      "settings of this run are lost"))
        << output.toStdString();
    EXPECT_EQ(Http(port, JsonPost(port, "/api/login", R"({"password":"not it"})")).status, 401);
    EXPECT_TRUE(WaitForOutput("Web admin: cannot write the audit log: tarnwick/admin-audit.log"))
        << output.toStdString();
    EXPECT_EQ(Http(port, JsonPost(port, "/api/login", R"({"password":"fault-pass-7"})")).status,
              200);

    server.write("status\n");  // the server runs on and answers
    EXPECT_TRUE(WaitForOutput("Players: "));
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);
    SetModeOfTree(tarnwick, 0755, 0644);
    EXPECT_EQ(ReadAll(tarnwick + "/server.cfg"), config);
    EXPECT_FALSE(QFile::exists(tarnwick + "/admin-audit.log"));
}

TEST_F(HeadlessProcess, KilledAtAnyMomentOfItsStartUpItLeavesTheConfigurationOldOrNewNeverCut) {
    const QString path = install.filePath("tarnwick/server.cfg");
    const QByteArray before = "// as the operator left it\n+servername \"before\"\nmaxplayers 12\n";
    ASSERT_TRUE(WriteAll(path, before));
    QElapsedTimer clock;
    clock.start();
    Start();
    ASSERT_TRUE(WaitForOutput("Starting game server"));
    const qint64 startUpMs = clock.elapsed();
    server.kill();
    WaitForExit();
    const QByteArray after = ReadAll(path);
    ASSERT_NE(after, before);
    ASSERT_TRUE(after.contains("+servername \"before\"\n")) << after.toStdString();

    std::mt19937 random(2024);
    int old = 0, whole = 0;
    for (int run = 0; run < 100; ++run) {
        ASSERT_TRUE(WriteAll(path, before));
        Start();
        const auto delay = std::chrono::microseconds(random() % (startUpMs * 1500 + 1));
        std::this_thread::sleep_for(delay);
        Signal(SIGKILL);
        ASSERT_TRUE(server.waitForFinished(5000));
        const QByteArray now = ReadAll(path);
        ASSERT_TRUE(now == before || now == after)
            << "killed after " << delay.count() << " us of run " << run << ":\n"
            << now.toStdString();
        ++(now == before ? old : whole);
    }
    // Both sides of the write were hit, and the next start removed whatever temporary file a
    // kill while writing left behind.
    EXPECT_GT(old, 0);
    EXPECT_GT(whole, 0);
    output.clear();
    Start();
    ASSERT_TRUE(WaitForOutput("Starting game server"));
    server.kill();
    WaitForExit();
    const QStringList left =
        QDir(install.filePath("tarnwick")).entryList({"server.cfg?*"}, QDir::Files);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    std::cout << "kill -9 during the start-up: " << old << " old, " << whole
              << " new configurations; start-up " << startUpMs << " ms\n";
}

TEST_F(HeadlessProcess, GarbageNulsAndAHugeLineOnStandardInputAreRefusedNeverPassedOn) {
    Start();
    ASSERT_TRUE(WaitForOutput(" joined: "));
    std::mt19937 random(77);
    QByteArray garbage;
    for (int i = 0; i < 256 * 1024; ++i) garbage.append(static_cast<char>(random()));
    server.write(garbage + "\n");
    server.write(QByteArray("say a\0b\n", 8) + QByteArray(3000, '\0') + "\n");
    server.write(QByteArray(1 << 20, 'x') + "\n");
    server.write("say still here\n");
    ASSERT_TRUE(WaitForOutput("Server: still here", 60000)) << output.right(2000).toStdString();
    EXPECT_TRUE(output.contains("a command line longer than 4096 bytes was refused"));
    EXPECT_TRUE(output.contains("a command line holding a NUL byte was refused"));
    EXPECT_TRUE(output.contains("command not sent: a console command holds at most 119"));
    Signal(SIGTERM);
    EXPECT_EQ(WaitForExit(), 0);

    // Each log line stays one line, whatever bytes it shows.
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
        ASSERT_TRUE(line.startsWith("20")) << line.left(200).toStdString();
    // Once the server runs, only what passed the command rule reaches the engine: the trace
    // writes each command as a C literal, an escape for one byte and "" where it splits one.
    static const QRegularExpression kByte(R"(\\x..|\\.|""|.)");
    bool running = false;
    int commands = 0;
    for (const QString& line : Trace()) {
        const QStringList fields = line.split('\t');
        if (fields.value(2) == "Tick") running = true;
        EXPECT_NE(line, "OVERLAP");
        if (!running || fields.value(2) != "ExecuteCommand") continue;
        ++commands;
        int bytes = -2;  // the quotes
        for (auto bytesOf = kByte.globalMatch(fields.value(3)); bytesOf.hasNext();) {
            const QString byte = bytesOf.next().captured();
            const int value = byte.startsWith("\\x") ? byte.mid(2).toInt(nullptr, 16) : ' ';
            bytes += byte != "\"\"";
            EXPECT_TRUE(byte != "\\n" && byte != "\\r" && value >= 32 && value != 0x7f)
                << line.toStdString();
        }
        EXPECT_LE(bytes, 119) << fields.value(3).toStdString();
    }
    EXPECT_GT(commands, 0);  // "say still here", and any garbage line that is a command
}

}  // namespace
