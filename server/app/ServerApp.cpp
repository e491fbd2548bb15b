#include "ServerApp.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CommandLine.h"
#include "ServerDialog.h"
#include "SettingsPropSheet.h"
#include "SocketStartup.h"
#include "WebAdmin.h"

std::function<bool()> ServerApp::StartupSettingsSheet(const QStringList& arguments,
                                                      ServerCore& core) {
    if (!ShowSettingsAtStart(arguments)) return {};
    return [&core] {
        SettingsPropSheet sheet(core);
        return sheet.exec() == QDialog::Accepted;
    };
}

int ServerApp::Run(const QStringList& arguments) {
    if (!StartSocketLibrary()) {
        QMessageBox::critical(nullptr, QStringLiteral("Tarnwick Server"),
                              QString::fromLatin1(kSocketStartupFailedText));
        return 1;
    }
    const WebAdminParse web = ParseWebAdminOptions(arguments);
    if (!web.options) {
        std::fprintf(stderr, "server: %s\n", web.error.c_str());
        QMessageBox::critical(nullptr, QStringLiteral("Tarnwick Server"),
                              QString::fromStdString(web.error));
        return 2;
    }
    ServerCore core(module);
    ServerDialog dialog(core, StartupSettingsSheet(arguments, core));
    dialog.UseHistoryFile(QString::fromLatin1(CommandHistoryFile::kDefaultPath));
    // The web admin takes its port before the game server starts. The window runs on without it
    // when it cannot start; its console says why.
    AuditLog audit;
    std::optional<WebAdmin> webAdmin;
    if (web.options->enabled) {
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
    const int status = dialog.exec();
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
