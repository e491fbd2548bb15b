// The main window: the player list, the console view, the command field and the update rate,
// and the menus that drive the engine. It owns the engine session and runs it for the life of
// the window.
//
// Threads: everything here runs on the user-interface thread. The engine session's worker thread
// touches only the engine, under engineLock; what the engine reports reaches this window through
// the snapshots taken every 100 ms, and its close message through a queued call.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <optional>

#include "EngineSession.h"
#include "PlayerListRefresher.h"
#include "TreePlayerTable.h"
#include "ui_ServerDialog.h"

class ServerDialog : public QDialog {
    Q_OBJECT

public:
    // settingsSheet, when given, is the start-up settings sheet: it answers whether the operator
    // chose OK.
    ServerDialog(EngineModule module, std::function<bool()> settingsSheet = {},
                 QWidget* parent = nullptr);
    ~ServerDialog() override;

    // The engine start-up. Answers the program's exit status when the window is to close at once
    // (the engine could not be bound, or the start-up settings sheet was cancelled).
    std::optional<int> Initialise();

    EngineSession& Session() { return session; }

    void RefreshPlayerList();
    void StatusTimer();
    void SubmitConsoleCommand();
    void KickSelectedPlayer();
    void ShowAbout();
    // The settings sheet on the running server: what it sends takes effect at once, and nothing
    // is saved here.
    void ShowSettings();
    void Quit();
    // When an engine runs, asks the operator; without one there is nothing to lose.
    bool ConfirmQuit();

    // The cancel path: the close box, Escape.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Builds the window from its form; runs first, so the members after it find their widgets.
    QTreeWidget* SetUpWindow();

    Ui::ServerDialog ui;
    EngineSession session;
    std::function<bool()> settingsSheet;
    TreePlayerTable playerTable;
    PlayerListRefresher refresher;
    QTimer statusTimer;
    bool confirmQuit = true;
    bool centred = false;
};
