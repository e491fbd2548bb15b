// The web admin over the real engine without a window, for the browser test and for trying the
// page by hand: `web_admin_demo --web-admin PORT [options]`, run in the demo install directory.
// The remote admin password comes from TARNWICK_WEB_PASSWORD. Ends on SIGTERM or SIGINT.
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "MillisecondClock.h"
#include "ServerCore.h"
#include "ServerSettings.h"
#include "WebAdmin.h"

namespace {
int signalPipe[2];
void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}
}  // namespace

int main(int argc, char* argv[]) {
    ProgramClockBase();
    QCoreApplication application(argc, argv);
    const WebAdminParse parse = ParseWebAdminOptions(QCoreApplication::arguments());
    if (!parse.options || !parse.options->enabled) {
        std::fprintf(stderr, "web_admin_demo: %s\n",
                     parse.error.empty() ? "give --web-admin PORT" : parse.error.c_str());
        return 2;
    }
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 3;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &application, &QCoreApplication::quit);

    ServerCore core({&CreateServerEngine, &ReleaseServerEngine});
    QObject::connect(&core, &ServerCore::consoleLine, [](const ConsoleEntry& entry) {
        std::printf("%s\n", entry.text.c_str());
        std::fflush(stdout);
    });
    QObject::connect(&core, &ServerCore::closeRequested, &application, &QCoreApplication::quit);
    if (core.Start() != EngineSession::StartupResult::Running) return 3;
    if (const char* password = std::getenv("TARNWICK_WEB_PASSWORD"))
        ServerSettings::Instance().SetRemoteAdminPassword(password);
    AuditLog audit;
    WebAdmin web(core, *parse.options, audit);
    if (const std::string why = web.Start(); !why.empty()) {
        std::fprintf(stderr, "web_admin_demo: %s\n", why.c_str());
        return 3;
    }
    const int status = application.exec();
    web.Stop();
    core.Shutdown();
    return status;
}
