#include "HeadlessApp.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "InstallDirectory.h"
#include "InstallLock.h"
#include "NumericLocale.h"
#include "OwnerPasswordFile.h"
#include "ProgramVersion.h"
#include "SignalBridge.h"
#include "StatusText.h"
#include "StdinCommandReader.h"

namespace {

using Level = LogFormatter::Level;

LogFormatter::Clock::time_point TimeOf(int64_t epochMs) {
    return LogFormatter::Clock::time_point(std::chrono::milliseconds(epochMs));
}

}  // namespace

HeadlessApp::HeadlessApp(ServerCore& core, HeadlessOptions options, std::FILE* out, int inputFd)
    : core_(core), options_(options), log_(options.logFormat), out_(out), inputFd_(inputFd) {
    connect(&core_, &ServerCore::consoleLine, this, [this](const ConsoleEntry& entry) {
        Write(log_.ConsoleLine(TimeOf(entry.timeMs), entry.seq, entry.text));
    });
    connect(&core_, &ServerCore::operatorLine, this, [this](const std::string& text) {
        Write(log_.ConsoleLine(LogFormatter::Clock::now(), 0, text));
    });
    connect(&core_, &ServerCore::playerJoined, this, [this](const PlayerRecord& p) {
        Write(log_.PlayerJoined(LogFormatter::Clock::now(), p.clientId,
                                std::string_view(p.name, strnlen(p.name, sizeof p.name))));
    });
    connect(&core_, &ServerCore::playerLeft, this, [this](const PlayerRecord& p) {
        Write(log_.PlayerLeft(LogFormatter::Clock::now(), p.clientId,
                              std::string_view(p.name, strnlen(p.name, sizeof p.name))));
    });
    connect(&core_, &ServerCore::statusRefreshed, this, &HeadlessApp::ReportStatus);
    connect(&core_, &ServerCore::healthSampled, this, [this](const HealthSample& sample) {
        if (healthPacer_.ShouldLog(sample))
            Notice(HealthLogPacer::Unhealthy(sample) ? Level::Warning : Level::Info,
                   FormatHealthLine(sample));
    });
    connect(&core_, &ServerCore::closeRequested, this, [this] {
        Notice(Level::Info, "the engine asked to close");
        Finish(exit_status::Of(StopCause::EngineClosed));
    });
    connect(&core_, &ServerCore::quitRequested, this, [this](const Requester& who) {
        Notice(Level::Info, "quit asked from the " + who.Describe());
        Finish(exit_status::Of(StopCause::Quit));
    });
    connect(&core_, &ServerCore::runEnded, this, [this](const RunEnd& end) {
        if (end.cause == StopCause::Quit)
            Notice(Level::Info, "the server quit, as asked from the " + end.by.Describe());
        Finish(exit_status::Of(end.cause));
    });
    connect(&watchdogTimer_, &QTimer::timeout, this, &HeadlessApp::CheckWatchdog);
}

HeadlessApp::~HeadlessApp() = default;

void HeadlessApp::Write(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);  // a pipe or the journal sees each line as it happens
}

void HeadlessApp::Notice(Level level, const std::string& text) {
    Write(log_.Notice(LogFormatter::Clock::now(), level, text));
}

void HeadlessApp::Finish(int exitStatus) {
    if (!exitStatus_) exitStatus_ = exitStatus;
    if (loop_) loop_->quit();
}

void HeadlessApp::StartupFailure(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", ProgramName(options_.program), text.c_str());
    if (options_.logFormat == LogFormat::Json) Notice(Level::Error, text);
}

int HeadlessApp::Run() {
    if (options_.agonesPort) StartAgones(*options_.agonesPort);
    const int exitStatus = RunServer();
    // Agones must hear Shutdown before the container ends, or it counts the exit as a failure.
    if (agones_) agones_->WaitForDelivery(std::chrono::seconds(5));
    if (core_.EngineReleaseFailed()) {
        // A worker is still inside the engine: running the process's own teardown under it
        // could crash, so the program ends here, as a failure a service manager may restart.
        std::fflush(nullptr);
        std::_Exit(exitStatus);
    }
    return exitStatus;
}

int HeadlessApp::RunServer() {
    // The stop line goes out from the signal handler itself, so it is the first word of the stop.
    SignalBridge termination(::fileno(out_), [this](const std::string& text) {
        auto [before, after] = log_.NoticeAroundTime(Level::Info, text);
        return SignalBridge::StopLine{before, after, true};
    });
    connect(&termination, &SignalBridge::TerminationRequested, this,
            [this] { Finish(exit_status::kClean); });
    Notice(Level::Info, "Tarnwick Server starting in " + QDir::currentPath().toStdString());

    // Before anything binds the engine or a port: a second server here would share every file.
    const InstallLock lock;
    if (lock.GetState() == InstallLock::State::HeldByAnother) {
        StartupFailure(lock.Message());
        return exit_status::kBadCommandLine;
    }
    if (lock.GetState() == InstallLock::State::NotTaken) Notice(Level::Warning, lock.Message());

    if (options_.web.enabled) {
        web_.emplace(core_, options_.web, audit_);
        // Its port is taken before the game server starts. A port that is taken or a TLS set-up
        // that cannot start is the operator's to mend: a service manager restarting the server
        // would only fail again.
        if (const std::string why = web_->Start(); !why.empty()) {  // the console said it too
            StartupFailure("the web admin cannot start: " + why);
            return exit_status::kBadCommandLine;
        }
    }

    using Result = EngineSession::StartupResult;
    std::function<bool()> afterLoad;
    if (ownerPassword_) {
        afterLoad = [this] {
            const ActionOutcome set = core_.SetOwnerPassword(*ownerPassword_, Requester::System());
            ownerPassword_->fill(QChar(u'\0'));
            ownerPassword_.reset();
            if (set.result == ActionResult::Done)
                Notice(Level::Info, "the remote admin password is set from its file");
            else
                Notice(Level::Warning,
                       "the remote admin password could not be set: " + set.message);
            return true;
        };
    }
    const Result result = core_.Start(afterLoad);  // a failure is on the console already
    if (result != Result::Running) {
        StartupFailure("start-up failed: " + core_.FailureReason());
        return result == Result::NotBound ? exit_status::kEngineNotBound
                                          : exit_status::Of(StopCause::StartupFailed);
    }

    notifier_.Ready();
    ready_ = true;
    ReportStatus(core_.Status());
    if (const auto interval = notifier_.WatchdogPingInterval()) {
        watchdog_.emplace(*notifier_.WatchdogTimeout(), core_.StepCount(), statusPasses_);
        watchdogTimer_.start(std::chrono::duration_cast<std::chrono::milliseconds>(*interval));
    }
    StdinCommandReader input(inputFd_);
    connect(&input, &StdinCommandReader::LineRead, this, &HeadlessApp::TakeCommand);
    connect(&input, &StdinCommandReader::LineRefused, this, [this](const QString& reason) {
        Notice(Level::Warning, "refused a line of standard input: " + reason.toStdString());
    });
    connect(&input, &StdinCommandReader::InputEnded, this, [this] {
        Notice(Level::Info, "standard input ended; the server runs on until SIGTERM");
    });
    connect(&input, &StdinCommandReader::ReadFailed, this, [this](const QString& reason) {
        Notice(Level::Warning, "standard input failed: " + reason.toStdString());
    });
    input.Start();

    if (!exitStatus_) {  // the engine may have closed before the loop began
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    input.Stop();
    watchdogTimer_.stop();
    ready_ = false;
    notifier_.Stopping();
    if (web_) web_->Stop();
    core_.Shutdown();
    if (core_.EngineReleaseFailed()) {
        Notice(Level::Error, "the server engine could not be released: its Tick never returned");
        return exit_status::Of(StopCause::EngineHung);
    }
    Notice(Level::Info, "Tarnwick Server stopped");
    return exitStatus_.value_or(exit_status::kClean);
}

void HeadlessApp::TakeCommand(const QByteArray& line) {
    if (line.isEmpty()) return;
    const ActionResult result = core_.SubmitConsoleCommand(
        std::string_view(line.constData(), static_cast<std::size_t>(line.size())),
        Requester::Terminal());
    if (result != ActionResult::Done)
        Notice(Level::Warning, std::string("command not sent: ") + Describe(result));
}

void HeadlessApp::ReportStatus(const ServerStatus& status) {
    ++statusPasses_;
    // A new player count goes out at once, the drifting update rate once every few seconds.
    if (!ready_ || !notifier_.IsActive()) return;
    if (status.players == lastStatusPlayers_ &&
        statusPasses_ - lastStatusPass_ < kStatusEveryPasses)
        return;
    lastStatusPlayers_ = status.players;
    lastStatusPass_ = statusPasses_;
    notifier_.Status(StatusText(status, QDateTime::currentMSecsSinceEpoch(), {}) +
                     "; update rate " + std::to_string(static_cast<int>(status.updateRate)) +
                     (web_ && !web_->OffReason().empty() ? "; web admin off: " + web_->OffReason()
                                                         : std::string()));
}

Liveness HeadlessApp::SeenLiveness() {
    return {core_.StepCount(), statusPasses_,
            core_.Status().state == ServerState::Running && !core_.IsStopping()};
}

void HeadlessApp::CheckWatchdog() {
    if (!watchdog_) return;
    switch (watchdog_->Check(WatchdogGate::Clock::now(), SeenLiveness())) {
        case WatchdogGate::Verdict::Ping:
            notifier_.WatchdogPing();
            break;
        case WatchdogGate::Verdict::Trigger:
            notifier_.WatchdogTrigger();
            break;
        case WatchdogGate::Verdict::Wait:
            break;
    }
}

void HeadlessApp::StartAgones(uint16_t port) {
    agones_ = std::make_unique<AgonesSession>(port, [this] { return SeenLiveness(); });
    AgonesSession* agones = agones_.get();
    connect(agones, &AgonesSession::notice, this, [this](bool warning, const QString& text) {
        Notice(warning ? Level::Warning : Level::Info, text.toStdString());
    });
    connect(&core_, &ServerCore::serverStarted, agones,
            [this, agones] { agones->ServerRunning(Facts()); });
    connect(&core_, &ServerCore::statusRefreshed, agones,
            [this, agones] { agones->StatusSeen(Facts()); });
    connect(&core_, &ServerCore::closeRequested, agones, &AgonesSession::End);
    connect(&core_, &ServerCore::runEnded, agones, &AgonesSession::End);
}

AgonesFacts HeadlessApp::Facts() const {
    const ServerStatus status = core_.Status();
    AgonesFacts facts{status.world,
                      std::to_string(status.version.major) + '.' +
                          std::to_string(status.version.minor) + '.' +
                          std::to_string(status.version.build),
                      {},
                      status.maxPlayers};
    for (const PlayerRecord& player : core_.Players()) facts.playerIds.push_back(player.clientId);
    return facts;
}

namespace {

// A descriptor 0 to 2 that is closed would be taken by the next file opened, which standard
// input or output would then read or write.
void KeepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

}  // namespace

int RunHeadless(int argc, char** argv, EngineModule module, HeadlessProgram program) {
    std::signal(SIGPIPE, SIG_IGN);  // a closed output is a write error, not the end
    KeepStandardDescriptorsOpen();
    QCoreApplication application(argc, argv);
    UseCNumericLocale();
    const HeadlessCommandLine commandLine =
        ParseHeadlessCommandLine(application.arguments(), program);
    switch (commandLine.action) {
        case HeadlessCommandLine::Action::ShowUsage:
            std::fputs(HeadlessUsage(program).toLocal8Bit().constData(), stdout);
            return exit_status::kClean;
        case HeadlessCommandLine::Action::ShowVersion:
            std::puts(ProgramVersionLine(ProgramName(program)).c_str());
            return exit_status::kClean;
        case HeadlessCommandLine::Action::Refuse:
            std::fprintf(stderr, "%s\n", commandLine.error.toLocal8Bit().constData());
            return exit_status::kBadCommandLine;
        case HeadlessCommandLine::Action::Run:
            break;
    }
    HeadlessOptions options = commandLine.options;
    const AgonesPortChoice agones =
        ChooseAgonesPort(options.agones, std::getenv("AGONES_SDK_HTTP_PORT"));
    if (!agones.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", ProgramName(options.program), agones.error.c_str());
        return exit_status::kBadCommandLine;
    }
    options.agonesPort = agones.port;
    // Read before the install directory becomes the current one: a relative name is the
    // operator's. A file that cannot serve is the operator's to mend, like a bad option.
    std::optional<QString> ownerPassword;
    if (const std::optional<QString> path = OwnerPasswordFile::Choose(
            options.adminPasswordFile, qEnvironmentVariable("CREDENTIALS_DIRECTORY"))) {
        OwnerPasswordFile::Read read = OwnerPasswordFile::Load(*path);
        if (!read.problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", ProgramName(options.program), read.problem.c_str());
            return exit_status::kBadCommandLine;
        }
        ownerPassword = std::move(read.password);
    }
    EnterInstallDirectory();
    ServerCore core(module);
    HeadlessApp app(core, options);
    if (ownerPassword) app.UseOwnerPassword(std::move(*ownerPassword));
    return app.Run();
}
