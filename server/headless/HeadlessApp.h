// The server without a window: the core under a terminal or a service manager. Console lines and
// player joins and leaves go to standard output (text or JSON lines), lines typed on standard
// input are console commands, SIGTERM and SIGINT stop it in order, and under a service manager it
// speaks the notify protocol with a watchdog that vouches for both threads. A health line goes
// out every minute, and at once when the server turns slow. In an Agones fleet it tells the SDK
// sidecar Ready, Health (behind the same kind of gate), its labels and players, and Shutdown.
//
// Exit statuses (exit_status in CoreActions.h, decided by the core from how the run ended): 0
// after a signal, a quit from any operator or the engine's close message; 1 when the engine cannot
// be bound; 2 for a bad command line, a web admin that cannot start or another server in the
// install directory; 3 when a later start-up step fails or the engine stops by itself.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "AgonesSession.h"
#include "HeadlessOptions.h"
#include "HealthLog.h"
#include "LogFormatter.h"
#include "ServerCore.h"
#include "SystemdNotifier.h"
#include "WatchdogGate.h"
#include "WebAdmin.h"

class QEventLoop;

class HeadlessApp : public QObject {
    Q_OBJECT

public:
    HeadlessApp(ServerCore& core, HeadlessOptions options, std::FILE* out = stdout,
                int inputFd = 0);
    ~HeadlessApp() override;

    // Set as the remote admin password right after the settings load, before the start-up
    // writes the configuration; never shown.
    void UseOwnerPassword(QString password) { ownerPassword_ = std::move(password); }
    // Starts the server and runs it until it ends; answers the exit status.
    int Run();

private:
    void Write(const std::string& line);
    void Notice(LogFormatter::Level level, const std::string& text);
    // A start-up that cannot go on, said on standard error, and in the JSON log as an error.
    void StartupFailure(const std::string& text);
    void Finish(int exitStatus);
    void TakeCommand(const QByteArray& line);
    void ReportStatus(const ServerStatus& status);
    void CheckWatchdog();
    Liveness SeenLiveness();
    int RunServer();
    void StartAgones(uint16_t port);
    AgonesFacts Facts() const;

    ServerCore& core_;
    HeadlessOptions options_;
    LogFormatter log_;
    std::FILE* out_;
    int inputFd_;
    SystemdNotifier notifier_;
    std::optional<WatchdogGate> watchdog_;
    HealthLogPacer healthPacer_;
    QTimer watchdogTimer_;
    static constexpr uint64_t kStatusEveryPasses = 50;
    uint64_t statusPasses_ = 0;
    uint64_t lastStatusPass_ = 0;
    int lastStatusPlayers_ = -1;
    bool ready_ = false;  // READY=1 was sent and STOPPING=1 not yet
    std::optional<int> exitStatus_;
    std::optional<QString> ownerPassword_;
    AuditLog audit_;
    std::optional<WebAdmin> web_;
    std::unique_ptr<AgonesSession> agones_;
    QEventLoop* loop_ = nullptr;
};

// The whole program run with --headless, or as tarnwickd: the application object, the command
// line, the install directory, the core and the run. Answers the exit status.
int RunHeadless(int argc, char** argv, EngineModule module,
                HeadlessProgram program = HeadlessProgram::Server);
