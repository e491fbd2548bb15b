// The main window: the player list, the console view with its find bar, the command field with
// its history, the update rate and the status line, and the menus that drive the engine. Every
// menu item has an accelerator that leaves the command field its editing keys. A front end over
// the server core (ServerCore.h, which also says the thread rules): it shows what the core
// publishes and hands it the operator's actions. The window's destruction always runs the core's
// teardown.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "CommandHistoryFile.h"
#include "HealthWindow.h"
#include "PlayerListRefresher.h"
#include "ServerCore.h"
#include "TreePlayerTable.h"
#include "ui_ServerDialog.h"

class ServerDialog : public QDialog {
    Q_OBJECT

public:
    // settingsSheet, when given, is the start-up settings sheet: it answers whether the operator
    // chose OK.
    ServerDialog(ServerCore& core, std::function<bool()> settingsSheet = {},
                 QWidget* parent = nullptr);
    ~ServerDialog() override;

    // The engine start-up. Answers the program's exit status when the window is to close at once
    // (the engine could not be bound, or the start-up settings sheet was cancelled).
    std::optional<int> Initialise();

    ServerCore& Core() { return core; }

    // Keeps the command field's history in this file across runs; without one the history lasts
    // for the window's run. A file that cannot be read gives an empty history, said on the console.
    void UseHistoryFile(const QString& path);
    // The web admin's address for the status line; empty while it is off.
    void SetWebAdminAddress(const QString& address);

    void SubmitConsoleCommand();
    void KickSelectedPlayer();
    // The same kick for a given player: the player list's context menu.
    void KickPlayer(int32_t clientId);
    // Ban…, from the same menu: asks how long and why, then the core bans the player's name.
    void BanPlayer(int32_t clientId);
    void ShowAbout();
    // The settings sheet on the running server: what it sends takes effect at once, and nothing
    // is saved here.
    void ShowSettings();
    // Game, Server Health: one window per main window, opened beside it and brought forward.
    void ShowHealth();
    HealthWindow* Health() const { return healthWindow; }
    // File, Quit: after the question, the core ends the run as the window's quit.
    void Quit();
    // When an engine runs, asks the operator; without one there is nothing to lose.
    bool ConfirmQuit();

    // The cancel path: the close box, Escape.
    void reject() override;

    // The engine asked to close, or the program was told to stop (SIGTERM, SIGINT): every dialog
    // over the window goes first, sending nothing, then the window's run ends with 0, and its
    // teardown follows as after Quit, without the question.
    void EndFromOutside();
    // Closes the modal dialogs open over `window` (over every window when null), top first.
    static void CloseDialogsAbove(const QWidget* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Builds the window from its form; runs first, so the members after it find their widgets.
    QTreeView* SetUpWindow();
    void ShowStatus(const ServerStatus& status);
    void ShowPlayerMenu(const QPoint& position);
    // The find bar opens under the console and closes again; the window grows and shrinks by it.
    void OpenFind();
    void FitToForm();
    // A line of the window's own on the console, beside the server's, for every front end.
    void Note(const std::string& text);
    void SaveHistory();

    Ui::ServerDialog ui;
    ServerCore& core;
    std::function<bool()> settingsSheet;
    TreePlayerTable playerTable;
    PlayerListRefresher refresher;
    HealthWindow* healthWindow = nullptr;  // a child: it goes with the window
    std::optional<CommandHistoryFile> historyFile;
    bool historyWriteFailed = false;  // said once until a write works again
    QString webAdminAddress;
    bool confirmQuit = true;
    bool centred = false;
};
