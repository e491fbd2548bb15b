#include "ServerDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "AboutDialog.h"
#include "AppIcon.h"
#include "BanDialog.h"
#include "ChangeMapDialog.h"
#include "CommandRules.h"
#include "EngineText.h"
#include "InstallDirectory.h"
#include "SettingsPropSheet.h"
#include "StatusText.h"

namespace {
constexpr const char* kCaption = "Tarnwick Server";

int TruncatedRate(float value) {
    return value > -2147483648.0f && value < 2147483648.0f ? static_cast<int>(value) : 0;
}

void SetTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}
}  // namespace

ServerDialog::ServerDialog(ServerCore& core, std::function<bool()> settingsSheet, QWidget* parent)
    : QDialog(parent),
      core(core),
      settingsSheet(std::move(settingsSheet)),
      playerTable(*SetUpWindow()),
      refresher(
          playerTable, [&core](uint32_t id) { return core.LabelText(id); },
          [&core](int32_t clientId) { return core.PingSeconds(clientId); }) {
    EnterInstallDirectory();
    playerTable.SetUpColumns();
    connect(&core, &ServerCore::rosterRefreshed, this,
            [this](const std::vector<PlayerRecord>& players, bool changed) {
                refresher.Refresh(players, changed);
                playerTable.KeepSorted();
            });
    connect(&core, &ServerCore::consoleLine, this,
            [this](const ConsoleEntry& entry) { ui.consoleView->AppendConsoleText(entry.text); });
    connect(&core, &ServerCore::operatorLine, this,
            [this](const std::string& text) { ui.consoleView->AppendConsoleText(text); });
    connect(&core, &ServerCore::statusRefreshed, this, &ServerDialog::ShowStatus);
    connect(&core, &ServerCore::closeRequested, this, &ServerDialog::EndFromOutside);
    connect(&core, &ServerCore::quitRequested, this, [this] { done(0); });
    connect(ui.actionQuit, &QAction::triggered, this, &ServerDialog::Quit);
    connect(ui.actionKickPlayer, &QAction::triggered, this, &ServerDialog::KickSelectedPlayer);
    connect(ui.actionAbout, &QAction::triggered, this, &ServerDialog::ShowAbout);
    connect(ui.actionSettings, &QAction::triggered, this, &ServerDialog::ShowSettings);
    connect(ui.actionServerHealth, &QAction::triggered, this, &ServerDialog::ShowHealth);
    addAction(ui.actionFind);  // no menu item: Ctrl+F anywhere in the window
    connect(ui.actionFind, &QAction::triggered, this, &ServerDialog::OpenFind);
    connect(ui.findBar, &ConsoleFindBar::closed, this, [this] {
        FitToForm();
        ui.commandField->setFocus();
    });
    connect(ui.playerList, &QWidget::customContextMenuRequested, this,
            &ServerDialog::ShowPlayerMenu);
    connect(ui.actionChangeMap, &QAction::triggered, this,
            [this] { ChangeMapDialog(this->core, this).exec(); });
}

QTreeView* ServerDialog::SetUpWindow() {
    ui.setupUi(this);
    ui.findBar->Attach(*ui.consoleView);
    layout()->setMenuBar(ui.menuBar);
    setWindowIcon(AppIcon());
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint) &
                   ~(Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint));
    // Enter belongs to the command field, never to a button that would close the window.
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
    FitToForm();
    return ui.playerList;
}

void ServerDialog::FitToForm() {
    setFixedSize(sizeHint());
    layout()->activate();
}

ServerDialog::~ServerDialog() {
    core.Shutdown();
}

std::optional<int> ServerDialog::Initialise() {
    const EngineSession::StartupResult result = core.Start(settingsSheet);
    // The console already says it; standard error too, for a window that closes at once.
    if (!core.FailureReason().empty())
        std::fprintf(stderr, "%s: start-up failed: %s\n", kCaption, core.FailureReason().c_str());
    if (result == EngineSession::StartupResult::NotBound) return 1;
    const EngineVersion& v = core.BoundVersion();
    setWindowTitle(QStringLiteral("%1 %2.%3.%4")
                       .arg(windowTitle().left(253))
                       .arg(v.major)
                       .arg(v.minor)
                       .arg(v.build));
    if (result == EngineSession::StartupResult::Cancelled) {
        confirmQuit = false;
        return 0;
    }
    ShowStatus(core.Status());  // a failed start-up has no status pass to show it
    return std::nullopt;        // running, or open without a server after a failure
}

void ServerDialog::ShowStatus(const ServerStatus& status) {
    SetTextIfChanged(ui.sendField, QString::number(TruncatedRate(status.sendRate)));
    SetTextIfChanged(ui.receiveField, QString::number(TruncatedRate(status.receiveRate)));
    SetTextIfChanged(ui.rateField, QString::number(TruncatedRate(status.updateRate)));
    const QByteArray web = webAdminAddress.toUtf8();
    const QString line = EngineText(
        StatusText(status, QDateTime::currentMSecsSinceEpoch(),
                   std::string_view(web.constData(), static_cast<std::size_t>(web.size()))));
    if (ui.statusLine->toolTip() != line) {
        ui.statusLine->setToolTip(line);  // the whole line, when the window is too narrow for it
        ui.statusLine->setText(
            ui.statusLine->fontMetrics().elidedText(line, Qt::ElideRight, ui.statusLine->width()));
    }
}

void ServerDialog::SetWebAdminAddress(const QString& address) {
    if (address == webAdminAddress) return;
    webAdminAddress = address;
    ShowStatus(core.Status());
}

void ServerDialog::UseHistoryFile(const QString& path) {
    historyFile.emplace(path);
    historyWriteFailed = false;
    CommandHistoryFile::Loaded loaded = historyFile->Load();
    ui.commandField->History().Assign(std::move(loaded.entries));
    if (!loaded.problem.empty()) Note("Command history: " + loaded.problem + "; it starts empty.");
}

void ServerDialog::SaveHistory() {
    if (!historyFile) return;
    const std::string problem = historyFile->Save(ui.commandField->History().Entries());
    if (!problem.empty() && !std::exchange(historyWriteFailed, true))
        Note("Command history: " + problem + "; commands are kept for this run only.");
    if (problem.empty()) historyWriteFailed = false;
}

void ServerDialog::Note(const std::string& text) {
    core.Announce(text);
}

void ServerDialog::SubmitConsoleCommand() {
    const QByteArray field = ui.commandField->Command();
    const std::string_view command(field.constData(), static_cast<std::size_t>(field.size()));
    const ActionResult result = core.SubmitConsoleCommand(command, Requester::Window());
    if (result != ActionResult::Done) return;  // the text stays
    ui.commandField->clear();
    // Up must never bring a password back to the screen, nor the history file keep one.
    if (command_rules::SetsPassword(command)) return;
    ui.commandField->History().Add(command);
    SaveHistory();
}

void ServerDialog::OpenFind() {
    const bool wasOpen = ui.findBar->IsOpen();
    ui.findBar->Open();
    if (!wasOpen) FitToForm();
}

void ServerDialog::ShowPlayerMenu(const QPoint& position) {
    const QModelIndex index = ui.playerList->indexAt(position);
    const std::optional<int32_t> clientId = playerTable.ClientIdAt(index);
    if (!clientId) return;
    const QString name = playerTable.NameAt(index);
    QMenu menu(this);
    QAction* kick = menu.addAction(QStringLiteral("&Kick"));
    kick->setObjectName(QStringLiteral("kickAction"));
    connect(kick, &QAction::triggered, this, [this, id = *clientId] { KickPlayer(id); });
    QAction* ban = menu.addAction(QStringLiteral("&Ban..."));
    ban->setObjectName(QStringLiteral("banAction"));
    connect(ban, &QAction::triggered, this, [this, id = *clientId] { BanPlayer(id); });
    QAction* copy = menu.addAction(QStringLiteral("Copy &Name"));
    copy->setObjectName(QStringLiteral("copyNameAction"));
    connect(copy, &QAction::triggered, this,
            [name] { QGuiApplication::clipboard()->setText(name); });
    menu.exec(ui.playerList->viewport()->mapToGlobal(position));
}

void ServerDialog::CloseDialogsAbove(const QWidget* window) {
    // Top of the modal stack first: a settings page over the sheet, a question over the window.
    for (int open = 0; open < 64; ++open) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == window) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        if (modal->isVisible()) modal->hide();
    }
}

void ServerDialog::EndFromOutside() {
    CloseDialogsAbove(this);
    done(0);
}

void ServerDialog::KickSelectedPlayer() {
    if (const std::optional<int32_t> clientId = playerTable.FirstSelectedClientId())
        KickPlayer(*clientId);
}

void ServerDialog::KickPlayer(int32_t clientId) {
    core.Kick(clientId, Requester::Window());
}

void ServerDialog::BanPlayer(int32_t clientId) {
    const std::vector<PlayerRecord>& players = core.Players();
    const auto player = std::find_if(players.begin(), players.end(),
                                     [&](const PlayerRecord& p) { return p.clientId == clientId; });
    if (player == players.end()) return;
    // Copied: the roster may change while the dialog is open.
    const std::string name(player->name, strnlen(player->name, sizeof player->name));
    BanDialog dialog(EngineText(name), this);
    if (dialog.exec() != QDialog::Accepted) return;
    core.Ban(name, dialog.Minutes(), dialog.Reason(), Requester::Window());
}

void ServerDialog::ShowAbout() {
    AboutDialog about(core, this);
    about.exec();
}

void ServerDialog::ShowSettings() {
    SettingsPropSheet sheet(core, this);
    sheet.exec();
}

void ServerDialog::ShowHealth() {
    if (!healthWindow) healthWindow = new HealthWindow(core, this);
    healthWindow->show();
    healthWindow->raise();
    healthWindow->activateWindow();
}

bool ServerDialog::ConfirmQuit() {
    if (!core.HasServer()) return true;
    return QMessageBox::question(this, QString::fromLatin1(kCaption),
                                 QStringLiteral("Are you sure you want to quit?"),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void ServerDialog::Quit() {
    if (ConfirmQuit()) core.Quit(Requester::Window());
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
