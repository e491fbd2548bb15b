#include "ServerDialog.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <utility>

#include "AboutDialog.h"
#include "AppIcon.h"
#include "ChangeMapDialog.h"
#include "InstallDirectory.h"
#include "SettingsPropSheet.h"

namespace {
constexpr const char* kCaption = "Tarnwick Server";
constexpr int kStatusPeriodMs = 100;

int TruncatedRate(float value) {
    return value > -2147483648.0f && value < 2147483648.0f ? static_cast<int>(value) : 0;
}

void SetTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}
}  // namespace

ServerDialog::ServerDialog(EngineModule module, std::function<bool()> settingsSheet,
                           QWidget* parent)
    : QDialog(parent),
      session(module,
              [this] {
                  // May run on the worker thread, from inside Tick: the window closes on its own
                  // thread once the worker has let go of the engine.
                  QMetaObject::invokeMethod(this, [this] { done(0); }, Qt::QueuedConnection);
              }),
      settingsSheet(std::move(settingsSheet)),
      playerTable(*SetUpWindow()),
      refresher(
          playerTable, [this](uint32_t id) { return session.LoadLabelText(id); },
          [this](int32_t clientId) { return session.ClientPingSeconds(clientId); }) {
    EnterInstallDirectory();
    connect(&statusTimer, &QTimer::timeout, this, &ServerDialog::StatusTimer);
    connect(ui.actionQuit, &QAction::triggered, this, &ServerDialog::Quit);
    connect(ui.actionKickPlayer, &QAction::triggered, this, &ServerDialog::KickSelectedPlayer);
    connect(ui.actionAbout, &QAction::triggered, this, &ServerDialog::ShowAbout);
    connect(ui.actionSettings, &QAction::triggered, this, &ServerDialog::ShowSettings);
    connect(ui.actionChangeMap, &QAction::triggered, this,
            [this] { ChangeMapDialog(this).exec(); });
}

QTreeWidget* ServerDialog::SetUpWindow() {
    ui.setupUi(this);
    layout()->setMenuBar(ui.menuBar);
    setWindowIcon(AppIcon());
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint) &
                   ~(Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint));
    // Enter belongs to the command field, never to a button that would close the window.
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
    setFixedSize(sizeHint());
    layout()->activate();
    TreePlayerTable::SetUpColumns(*ui.playerList);
    return ui.playerList;
}

ServerDialog::~ServerDialog() {
    statusTimer.stop();
    session.ShutdownEngine();
}

std::optional<int> ServerDialog::Initialise() {
    const EngineSession::StartupResult result = session.Start(settingsSheet);
    if (result == EngineSession::StartupResult::NotBound) return 1;
    const EngineVersion& v = session.BoundVersion();
    setWindowTitle(QStringLiteral("%1 %2.%3.%4")
                       .arg(windowTitle().left(253))
                       .arg(v.major)
                       .arg(v.minor)
                       .arg(v.build));
    switch (result) {
        case EngineSession::StartupResult::Cancelled:
            confirmQuit = false;
            return 0;
        case EngineSession::StartupResult::Running:
            statusTimer.start(kStatusPeriodMs);
            break;
        default:
            break;  // the window stays open without a server
    }
    return std::nullopt;
}

void ServerDialog::RefreshPlayerList() {
    session.RunPendingTeardown();
    const EngineSession::Snapshot snapshot = session.TakeSnapshot();
    refresher.Refresh(snapshot.players, snapshot.rosterChanged);
    for (const std::string& line : snapshot.consoleLines) ui.consoleView->AppendConsoleText(line);
}

void ServerDialog::StatusTimer() {
    RefreshPlayerList();
    float sendRate = 0.0f, receiveRate = 0.0f;
    if (session.WithEngine([&](ServerEngine& e) { e.GetTraffic(&sendRate, &receiveRate); })) {
        SetTextIfChanged(ui.sendField, QString::number(TruncatedRate(sendRate)));
        SetTextIfChanged(ui.receiveField, QString::number(TruncatedRate(receiveRate)));
    }
    SetTextIfChanged(ui.rateField, QString::number(TruncatedRate(session.UpdateRate())));
}

void ServerDialog::SubmitConsoleCommand() {
    if (!session.IsBound()) return;  // the text stays in the field
    const QByteArray command = ui.commandField->text().toLatin1().left(119);
    if (command.isEmpty()) return;
    ui.consoleView->AppendConsoleText(command.toStdString());
    ui.commandField->clear();
    session.WithEngine([&](ServerEngine& e) { e.ExecuteCommand(command.constData()); });
}

void ServerDialog::KickSelectedPlayer() {
    if (!session.IsBound()) return;
    if (const std::optional<int32_t> clientId = playerTable.FirstSelectedClientId())
        session.WithEngine([&](ServerEngine& e) { e.DropClient(*clientId); });
}

void ServerDialog::ShowAbout() {
    AboutDialog about(session, this);
    about.exec();
}

void ServerDialog::ShowSettings() {
    SettingsPropSheet sheet(this);
    sheet.exec();
}

bool ServerDialog::ConfirmQuit() {
    if (!session.IsBound()) return true;
    return QMessageBox::question(this, QString::fromLatin1(kCaption),
                                 QStringLiteral("Are you sure you want to quit?"),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void ServerDialog::Quit() {
    if (ConfirmQuit()) done(0);
}

void ServerDialog::reject() {
    if (!confirmQuit || ConfirmQuit()) QDialog::reject();
}

void ServerDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        SubmitConsoleCommand();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ServerDialog::showEvent(QShowEvent* event) {
    if (!std::exchange(centred, true) && screen())
        move(screen()->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
