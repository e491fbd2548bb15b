#include "ServerApp.h"

#include <QMessageBox>

#include "CommandLine.h"
#include "ServerDialog.h"
#include "SettingsPropSheet.h"
#include "SocketStartup.h"

std::function<bool()> ServerApp::StartupSettingsSheet(const QStringList& arguments) {
    if (!ShowSettingsAtStart(arguments)) return {};
    return [] {
        SettingsPropSheet sheet;
        return sheet.exec() == QDialog::Accepted;
    };
}

int ServerApp::Run(const QStringList& arguments) {
    if (!StartSocketLibrary()) {
        QMessageBox::critical(nullptr, QStringLiteral("Tarnwick Server"),
                              QString::fromLatin1(kSocketStartupFailedText));
        return 1;
    }
    ServerCore core(module);
    ServerDialog dialog(core, StartupSettingsSheet(arguments));
    dialog.UseHistoryFile(QString::fromLatin1(CommandHistoryFile::kDefaultPath));
    if (const std::optional<int> exitStatus = dialog.Initialise()) return *exitStatus;
    return dialog.exec();
}
