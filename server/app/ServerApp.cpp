#include "ServerApp.h"

#include <QMessageBox>

#include "CommandLine.h"
#include "ServerDialog.h"
#include "SocketStartup.h"

int ServerApp::Run(const QStringList& arguments) {
    if (!StartSocketLibrary()) {
        QMessageBox::critical(nullptr, QStringLiteral("Tarnwick Server"),
                              QString::fromLatin1(kSocketStartupFailedText));
        return 1;
    }
    // The settings sheet at start-up comes with the settings pages; until then every start
    // behaves as with "-s".
    (void)ShowSettingsAtStart(arguments);
    ServerDialog dialog(module);
    if (const std::optional<int> exitStatus = dialog.Initialise()) return *exitStatus;
    return dialog.exec();
}
