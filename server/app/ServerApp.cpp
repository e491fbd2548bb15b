#include "ServerApp.h"

#include <unistd.h>

#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CommandLine.h"
#include "InstallDirectory.h"
#include "InstallLock.h"
#include "ServerDialog.h"
#include "SettingsPropSheet.h"
#include "SignalBridge.h"
#include "SocketStartup.h"
#include "WebAdmin.h"

namespace {
const QString kCaption = QStringLiteral("Tarnwick Server");
}

std::function<bool()> ServerApp::StartupSettingsSheet(const QStringList& arguments,
                                                      ServerCore& core) {
    if (!ShowSettingsAtStart(arguments)) return {};
    return [&core] {
        SettingsPropSheet sheet(core);
        return sheet.exec() == QDialog::Accepted;
    };
}

int ServerApp::Run(const QStringList& arguments) {
    const WindowCommandLine commandLine =
        ReadWindowCommandLine(arguments, WindowCommandLine::Stage::AfterQt);
    if (commandLine.action == WindowCommandLine::Action::Refuse) {
        std::fprintf(stderr, "%s\n", commandLine.error.toLocal8Bit().constData());
        return exit_status::kBadCommandLine;
    }
    // SIGTERM and SIGINT end the window as Quit does, without the question; whatever is open over
    // it (the start-up sheet, a message box) closes first.
    SignalBridge termination(STDERR_FILENO, [](const std::string& text) {
        return SignalBridge::StopLine{"server: " + text + "\n", "", false};
    });
    QPointer<ServerDialog> window;
    bool stopAsked = false;
    QObject::connect(&termination, &SignalBridge::TerminationRequested, &termination, [&] {
        stopAsked = true;
        if (window) {
            window->EndFromOutside();
        } else {
            ServerDialog::CloseDialogsAbove(nullptr);
        }
    });

    if (!StartSocketLibrary()) {
        QMessageBox::critical(nullptr, kCaption, QString::fromLatin1(kSocketStartupFailedText));
        return 1;
    }
    // Before anything binds the engine or a port: a second server here would share every file.
    EnterInstallDirectory();
    const InstallLock lock;
    if (lock.GetState() == InstallLock::State::HeldByAnother) {
        const QString message = QString::fromStdString(lock.Message());
        std::fprintf(stderr, "server: %s\n", message.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, kCaption, message.left(1).toUpper() + message.mid(1) + '.');
        return exit_status::kBadCommandLine;
    }
    ServerCore core(module);
    ServerDialog dialog(core, StartupSettingsSheet(arguments, core));
    window = &dialog;
    dialog.UseHistoryFile(QString::fromLatin1(CommandHistoryFile::kDefaultPath));
    if (lock.GetState() == InstallLock::State::NotTaken)
        core.Announce("Install directory: " + lock.Message() + ".");
    // The web admin takes its port before the game server starts. The window runs on without it
    // when it cannot start; its console says why.
    AuditLog audit;
    std::optional<WebAdmin> webAdmin;
    if (const WebAdminParse web = ParseWebAdminOptions(arguments);
        web.options && web.options->enabled) {
        webAdmin.emplace(core, *web.options, audit);
        if (const std::string why = webAdmin->Start(); !why.empty())
            std::fprintf(stderr, "server: the web admin cannot start: %s\n", why.c_str());
    }
    if (const std::optional<int> exitStatus = dialog.Initialise()) return *exitStatus;
    // The status line names the web admin while it takes logins.
    const QMetaObject::Connection webLine =
        QObject::connect(&core, &ServerCore::statusRefreshed, &dialog, [&dialog, &webAdmin] {
            const bool on = webAdmin && webAdmin->IsRunning() && webAdmin->OffReason().empty();
            dialog.SetWebAdminAddress(on ? QString::fromStdString(webAdmin->Url()) : QString());
        });
    const int status = stopAsked ? exit_status::kClean : dialog.exec();
    QObject::disconnect(webLine);
    webAdmin.reset();  // before the window's teardown of the core
    core.Shutdown();
    if (core.EngineReleaseFailed()) {
        // A worker is still inside the engine: the process's own teardown could crash under it.
        std::fprintf(stderr,
                     "server: the server engine could not be released: its Tick never "
                     "returned\n");
        std::fflush(nullptr);
        std::_Exit(exit_status::Of(StopCause::EngineHung));
    }
    return status;
}
