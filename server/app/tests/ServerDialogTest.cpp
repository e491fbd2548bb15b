#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <atomic>

#include "AboutDialog.h"
#include "BanDialog.h"
#include "CommandLine.h"
#include "FakeEngine.h"
#include "ServerApp.h"
#include "ServerDialog.h"
#include "SettingsPropSheet.h"

namespace {
constexpr EngineModule kFakeModule{&FakeEngineModule::Create, &FakeEngineModule::Release};

void AnswerNextMessageBox(QMessageBox::StandardButton button, bool* opened) {
    *opened = false;
    QTimer::singleShot(0, [button, opened] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *opened = true;
            box->button(button)->click();
        }
    });
}
QString Cell(QTreeView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}

void ChooseFromMenu(QTreeView* list, int row, const char* item) {
    QTimer::singleShot(0, list, [item] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menu->findChild<QAction*>(item)->trigger();
        menu->close();
    });
    const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
}

// A message of the given kind from the engine, under its lock as the worker would send it.
void Send(FakeEngine& engine, EngineSession& session, char kind, const std::string& body) {
    std::lock_guard guard(session.EngineLock());
    engine.sink->OnEngineMessage((kind + body).c_str());
}

// The window over a core on the fake engine, started; a failed start-up fails the test.
struct Started {
    ServerCore core{kFakeModule};
    ServerDialog dialog{core};
    explicit Started(const QString& history = {}) {
        if (!history.isEmpty()) dialog.UseHistoryFile(history);
        if (dialog.Initialise()) QTest::qFail("the window did not start", __FILE__, __LINE__);
    }
    QLineEdit* Field() { return dialog.findChild<QLineEdit*>("commandField"); }
    QString Console() { return dialog.findChild<QPlainTextEdit*>("consoleView")->toPlainText(); }
};

void Type(QLineEdit* field, const QString& command) {
    field->setText(command);
    QTest::keyClick(field, Qt::Key_Return);
}

// Closes the next modal settings sheet with the given button; says its title and whether it
// opened over a window.
void CloseNextSheet(QDialogButtonBox::StandardButton button, QString* seen) {
    QTimer::singleShot(0, [button, seen] {
        if (auto* sheet = qobject_cast<SettingsPropSheet*>(QApplication::activeModalWidget())) {
            *seen = sheet->windowTitle() + (sheet->parentWidget() ? " over a window" : " alone");
            sheet->findChild<QDialogButtonBox*>("buttons")->button(button)->click();
        }
    });
}
}  // namespace

class ServerDialogTest : public QObject {
    Q_OBJECT

private:
    FakeEngine engine;

    // The worker appends to the fake's record under the engine lock; so do these reads.
    static std::vector<std::string> Calls(ServerDialog& dialog, FakeEngine& fake) {
        std::lock_guard guard(dialog.Core().SessionForTests().EngineLock());
        return fake.calls;
    }
    static long Count(const std::vector<std::string>& calls, const std::string& call) {
        return std::count(calls.begin(), calls.end(), call);
    }

private slots:
    void init() {
        engine = FakeEngine{};
        FakeEngineModule::bound = &engine;
        FakeEngineModule::releases = 0;
    }

    // A binding failure closes the window at once; a later one keeps it open without an engine.
    void aFailedStartUpClosesTheWindowOnlyWhenTheBindingFailed() {
        FakeEngineModule::bound = nullptr;
        QCOMPARE(ServerDialog(*std::make_unique<ServerCore>(kFakeModule)).Initialise(),
                 std::optional<int>(1));
        QCOMPARE(FakeEngineModule::releases, 0);
        FakeEngineModule::bound = &engine;
        engine.initResult = 0;
        {
            Started window;  // without an engine
            auto& dialog = window.dialog;
            QVERIFY(dialog.windowTitle().startsWith("Tarnwick Server 1.2.3"));

            // Closing asks nothing, and a refused command stays where it is.
            bool asked;
            AnswerNextMessageBox(QMessageBox::No, &asked);
            auto* field = dialog.findChild<QLineEdit*>("commandField");
            Type(field, "status");
            QCOMPARE(field->text(), QString("status"));
            dialog.show();
            dialog.reject();
            QCoreApplication::processEvents();
            QVERIFY(!asked);
            QVERIFY(!dialog.isVisible());
        }
        QCOMPARE(FakeEngineModule::releases, 1);  // the window's teardown found nothing more
    }

    // Which cells a quiet pass rewrites is the refresher's own test; this is the window's wiring:
    // the roster reaches the list, and the list's actions reach the core for their own row.
    void thePlayerListShowsTheRosterAndItsActionsReachTheCore() {
        QTemporaryDir dir;
        Started window;
        auto& [core, dialog] = window;
        core.UseBanFile(dir.filePath("bans"));
        auto* list = dialog.findChild<QTreeView*>("playerList");
        engine.pings[12] = 0.0425f;
        Send(engine, core.SessionForTests(), '\x01', "12");  // joins
        Send(engine, core.SessionForTests(), '\x01', "9");
        Send(engine, core.SessionForTests(), '\x03', "12 Alice\n1070 8 -1");
        core.StatusPass();
        const int row12 = Cell(list, 0, 0) == "12" ? 0 : 1;
        QCOMPARE(Cell(list, row12, 0) + Cell(list, row12, 1) + Cell(list, row12, 4),
                 QString("12Alice42"));
        QVERIFY(!Cell(list, row12, 2).isEmpty());  // a team label from the library
        dialog.KickSelectedPlayer();               // nothing selected: nothing sent
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 12"), 0L);
        list->setCurrentIndex(list->model()->index(row12, 0));
        dialog.findChild<QAction*>("actionKickPlayer")->trigger();
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 12"), 1L);

        // The context menu acts on the row it was opened on, whichever row is selected.
        ChooseFromMenu(list, 1 - row12, "kickAction");
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 9"), 1L);
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 12"), 1L);
        ChooseFromMenu(list, 1 - row12, "copyNameAction");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("NEWPLAYER"));
        QTimer answer;  // the ban dialog opens from inside the menu's own loop
        connect(&answer, &QTimer::timeout, [&answer] {
            auto* ban = qobject_cast<BanDialog*>(QApplication::activeModalWidget());
            if (!ban) return;
            ban->findChild<QSpinBox*>("minutesBox")->setValue(30);
            ban->findChild<QLineEdit*>("reasonEdit")->setText(" spam ");
            ban->accept();
            answer.stop();
        });
        answer.start(10);
        ChooseFromMenu(list, 1 - row12, "banAction");
        QCOMPARE(core.Bans().size(), std::size_t(1));
        const auto ban = core.Bans().at(0);
        QCOMPARE(ban.name + "|" + ban.reason + "|" + ban.by, std::string("NEWPLAYER|spam|window"));
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 9"), 2L);

        Send(engine, core.SessionForTests(), '\x02', "12");
        core.StatusPass();
        QCOMPARE(list->model()->rowCount(), 1);
    }

    // The field's commands outlive the window, but for a password; Up walks back, Down returns.
    void theCommandHistoryOutlivesTheWindowWithoutItsPasswords() {
        QTemporaryDir dir;
        const QString path = dir.filePath("command-history");
        for (const char* command :
             {"status", "say hi", "say hi", "+serverpassword \"hunter22\"", "sim_bots 4"})
            Type(Started(path).Field(), command);
        Started window(path);
        QLineEdit* field = window.Field();
        field->setText("half typed");
        QString walked;
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down,
                            Qt::Key_Down, Qt::Key_Down}) {
            QTest::keyClick(field, key);
            walked += field->text() + "|";
        }
        QCOMPARE(walked, QString("sim_bots 4|say hi|status|status|say hi|sim_bots 4|half typed|"));
    }

    // Enter sends the field's command, echoed first; Escape empties the field, and only an empty
    // field's Escape, or Quit, asks to quit.
    void enterSendsAndEscapeEmptiesTheFieldThenAsksToQuit() {
        Started window;
        auto& [core, dialog] = window;
        dialog.show();
        QLineEdit* field = window.Field();
        Type(field, QString(200, QChar('x')));
        QVERIFY(dialog.isVisible() && field->text().isEmpty());
        QCOMPARE(window.Console().trimmed(), QString(119, QChar('x')));
        QCOMPARE(Count(Calls(dialog, engine), "ExecuteCommand " + std::string(119, 'x')), 1L);

        bool asked;
        AnswerNextMessageBox(QMessageBox::No, &asked);
        field->setText("changemap 3");
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(field->text().isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(!asked);
        AnswerNextMessageBox(QMessageBox::No, &asked);
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(asked && dialog.isVisible());

        AnswerNextMessageBox(QMessageBox::No, &asked);
        dialog.findChild<QAction*>("actionQuit")->trigger();
        QVERIFY(asked && dialog.isVisible() && dialog.Core().HasServer());
        AnswerNextMessageBox(QMessageBox::Yes, &asked);
        dialog.reject();
        QVERIFY(asked && !dialog.isVisible());
    }

    // Every menu item has an accelerator, and none is a key the command field edits with: each
    // works while the operator types, and none takes a key from the field.
    void acceleratorsWorkFromTheCommandFieldAndTakeNoneOfItsKeys() {
        Started window;
        auto& [core, dialog] = window;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QLineEdit* field = window.Field();
        field->setFocus();

        // The field claims its editing keys first (below); these it takes without claiming them.
        const QList<QKeySequence> editing = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Escape,
                                             Qt::Key_Return};
        QList<QAction*> items{dialog.findChild<QAction*>("actionFind")};
        QList<QKeySequence> keys;
        for (QAction* menu : dialog.findChild<QMenuBar*>()->actions()) {
            keys << QKeySequence::mnemonic(menu->text());
            items << menu->menu()->actions();
        }
        for (QAction* item : items) keys << item->shortcut();
        QCOMPARE(items.size(), 7);
        const auto fieldWants = [field](const QKeySequence& key) {
            QKeyEvent override(QEvent::ShortcutOverride, key[0].key(), key[0].keyboardModifiers());
            override.ignore();
            QApplication::sendEvent(field, &override);
            return override.isAccepted();
        };
        QVERIFY(fieldWants(Qt::CTRL | Qt::Key_Z));
        for (const QKeySequence& key : keys) {
            QVERIFY2(key.count() == 1 && !editing.contains(key), qPrintable(key.toString()));
            QCOMPARE(keys.count(key), 1);
            QVERIFY2(!fieldWants(key), qPrintable(key.toString()));
        }

        Send(engine, core.SessionForTests(), '\x01', "5");
        core.StatusPass();
        auto* list = dialog.findChild<QTreeView*>("playerList");
        list->setCurrentIndex(list->model()->index(0, 0));
        field->setFocus();
        field->setText("typing");
        QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(Count(Calls(dialog, engine), "DropClient 5"), 1L);
        QCOMPARE(field->text(), QString("typing"));

        // Ctrl+F: the window grows by the find bar; Escape closes it and gives the field back.
        const QSize size = dialog.size();
        QTest::keyClick(field, Qt::Key_F, Qt::ControlModifier);
        auto* findField = dialog.findChild<QLineEdit*>("findField");
        QVERIFY(findField->isVisible() && findField->hasFocus());
        QVERIFY(dialog.height() > size.height());
        QTest::keyClick(findField, Qt::Key_Escape);
        QVERIFY(dialog.isVisible() && !findField->isVisible());
        QCOMPARE(dialog.size(), size);
        QVERIFY(field->hasFocus());
    }

    // The status line follows a change of map and the web admin's address; the rate and About
    // follow an engine that stops by itself.
    void theStatusFollowsAChangeOfMapAndAStoppedServer() {
        std::atomic<bool> stop{false};
        engine.onTick = [&stop](FakeEngine& e) {
            if (stop) e.tickResult = 0;
        };
        engine.configLines = {"map1 Worlds/B", "nummaps 2"};
        Started window;
        auto& [core, dialog] = window;
        QTimer::singleShot(0, &dialog, [] {
            auto* change = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* list = change->findChild<QTreeWidget*>("rotationList");
            list->setCurrentItem(list->topLevelItem(1));
            change->accept();
        });
        auto* status = dialog.findChild<QLabel*>("statusLine");
        dialog.findChild<QAction*>("actionChangeMap")->trigger();
        QCOMPARE(Count(Calls(dialog, engine), "ExecuteCommand changemap 1"), 1L);
        core.StatusPass();
        QVERIFY2(status->toolTip().contains("worlds/b"), qPrintable(status->toolTip()));
        dialog.SetWebAdminAddress("http://127.0.0.1:8080/");
        QVERIFY(status->toolTip().contains("http://127.0.0.1:8080/"));
        auto* rate = dialog.findChild<QLabel*>("rateField");
        QTRY_VERIFY(rate->text() != "0");
        QCOMPARE(AboutDialog(core).VersionLine(), QString("Version 1.2.3"));
        stop = true;
        QTRY_VERIFY(!dialog.Core().HasServer());
        QTRY_COMPARE(rate->text(), QString("0"));
        QCOMPARE(AboutDialog(core).VersionLine(), QString("No server engine is running."));
    }

    // The engine's close while a dialog is open over the window: the dialog goes, nothing more is
    // sent, and the window's run ends with 0.
    void aCloseFromTheEngineEndsEveryOpenDialogFirst() {
        for (const char* action : {"actionSettings", "actionQuit"}) {
            init();
            Started window;
            auto& [core, dialog] = window;
            dialog.show();
            QTimer::singleShot(0, &dialog, [&] {
                QTimer::singleShot(50, &dialog, [&] {
                    QVERIFY2(QApplication::activeModalWidget() != &dialog, action);  // it is up
                    Send(engine, dialog.Core().SessionForTests(), '\x07', "");
                });
                dialog.findChild<QAction*>(action)->trigger();
            });
            QTimer::singleShot(3000, &dialog, [&] {  // a guard, not the answer
                for (QWidget* w; (w = QApplication::activeModalWidget()) && w != &dialog;)
                    w->hide();
                dialog.done(99);
            });
            QVERIFY2(dialog.exec() == 0, action);
            QVERIFY2(QApplication::activeModalWidget() == nullptr, action);
        }
    }

    // The program's own run keeps the command history in the install directory. One it can
    // neither read nor write is said, once each; the commands still go out and Up still finds
    // them, until the engine's close ends the run with 0.
    void theProgramsRunSaysAHistoryItCannotKeepAndRunsOn() {
        QTemporaryDir install;
        QVERIFY(QDir(install.path()).mkpath("tarnwick/command-history"));  // in the file's way
        QVERIFY(QFile::link(QDir::current().filePath("tarnwick/quillon.so"),
                            install.filePath("tarnwick/quillon.so")));
        const QString home = QDir::currentPath();
        QDir::setCurrent(install.path());
        QString console, recalled;
        QTimer typist;
        connect(&typist, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<ServerDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            typist.stop();
            if (!dialog->Core().HasServer()) return dialog->done(99);
            auto* field = dialog->findChild<QLineEdit*>("commandField");
            Type(field, "say 1");
            Type(field, "say 2");
            QTest::keyClick(field, Qt::Key_Up);
            recalled = field->text();
            console = dialog->findChild<QPlainTextEdit*>("consoleView")->toPlainText();
            Send(engine, dialog->Core().SessionForTests(), '\x07', "");
        });
        typist.start(20);
        const int status = ServerApp(kFakeModule).Run({"server", "-s"});
        QDir::setCurrent(home);
        QCOMPARE(status, 0);
        QVERIFY2(console.contains("Command history: tarnwick/command-history is not a regular "
                                  "file; it starts empty."),
                 qPrintable(console));
        QCOMPARE(console.count("Command history: tarnwick/command-history cannot be written"), 1);
        QCOMPARE(recalled, QString("say 2"));
        for (const char* said : {"ExecuteCommand say 1", "ExecuteCommand say 2"})
            QCOMPARE(Count(engine.calls, said), 1L);
    }

    // Before Qt a single-dash word may be one of Qt's own; after, what is left must be -s, first.
    // A first word that begins with -s or -S skips the settings sheet at start.
    void theWindowsCommandLineRefusesWhatItCannotMean() {
        using Action = WindowCommandLine::Action;
        using Stage = WindowCommandLine::Stage;
        const struct {
            QStringList tail;
            Action beforeQt, afterQt;
        } cases[] = {
            {{"-s", "--web-admin", "8080", "world1"}, Action::Run, Action::Run},
            {{"--web-admin=8080", "-h"}, Action::ShowUsage, Action::ShowUsage},
            {{"--version", "--bogus"}, Action::ShowVersion, Action::ShowVersion},
            {{"--bogus", "--version"}, Action::Refuse, Action::Refuse},
            {{"--web-admin", "99999"}, Action::Refuse, Action::Refuse},
            {{"-x"}, Action::Run, Action::Refuse},
            {{"--web-admin", "8080", "-s"}, Action::Run, Action::Refuse},
        };
        for (const auto& c : cases) {
            const QStringList arguments = QStringList{"server"} + c.tail;
            QCOMPARE(ReadWindowCommandLine(arguments, Stage::BeforeQt).action, c.beforeQt);
            QCOMPARE(ReadWindowCommandLine(arguments, Stage::AfterQt).action, c.afterQt);
        }
        for (const char* tail : {"-s", "-S", "-silent", "-sx y"})
            QVERIFY2(!ShowSettingsAtStart({"server", tail}), tail);
        for (const char* tail : {"/s", "s", "", "x -s", "--s"})
            QVERIFY2(ShowSettingsAtStart({"server", tail}), tail);
    }

    // The start-up sheet opens on its own before the server starts and the settings are saved
    // either way; OK sends the Server page again before the save and starts the server, Cancel
    // ends the program. From the menu the sheet opens over the window and saves nothing.
    void theStartupSheetSavesThenOkStartsAndCancelEnds() {
        for (const bool ok : {false, true}) {
            init();
            ServerCore core(kFakeModule);
            ServerDialog dialog(core, ServerApp::StartupSettingsSheet({"server"}, core));
            QString seen;
            CloseNextSheet(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel, &seen);
            QCOMPARE(dialog.Initialise(), ok ? std::nullopt : std::optional<int>(0));
            QCOMPARE(seen, QString("Server Settings alone"));
            QCOMPARE(dialog.Core().IsWorkerRunning(), ok);
            const auto calls = Calls(dialog, engine);
            const std::string page = "ExecuteCommand +remoteadminpassword \" \"";
            QCOMPARE(Count(calls, "InitServer 16"), ok ? 1L : 0L);
            QCOMPARE(Count(calls, "WriteConfig tarnwick/server.cfg 4"), 1L);
            QCOMPARE(Count(calls, page), ok ? 2L : 1L);  // the load's default, then the page's
            const auto save =
                std::find(calls.begin(), calls.end(), "WriteConfig tarnwick/server.cfg 4");
            QVERIFY(std::find(save, calls.end(), page) == calls.end());
            if (!ok) continue;
            CloseNextSheet(QDialogButtonBox::Ok, &seen);
            dialog.findChild<QAction*>("actionSettings")->trigger();
            QCOMPARE(seen, QString("Server Settings over a window"));
            QCOMPARE(Count(Calls(dialog, engine), page), 3L);
            QCOMPARE(Count(Calls(dialog, engine), "WriteConfig tarnwick/server.cfg 4"), 1L);
        }
    }

    void menuServerHealthOpensOneLiveWindowBesideTheMainOne() {
        Started window;
        auto& [core, dialog] = window;
        dialog.show();
        auto* action = dialog.findChild<QAction*>("actionServerHealth");
        action->trigger();
        HealthWindow* health = dialog.Health();
        QVERIFY(health && health->isVisible() && !health->isModal() && health->isWindow());
        QVERIFY(health->LegendText().startsWith("No samples yet"));
        core.HealthPass();
        core.HealthPass();
        QCOMPARE(health->Graph().Model().Samples().size(), std::size_t(2));
        QVERIFY(health->LegendText().startsWith("Update rate "));

        health->hide();
        core.HealthPass();
        action->trigger();  // the same window again, caught up
        QCOMPARE(dialog.Health(), health);
        QCOMPARE(health->Graph().Model().Samples().size(), std::size_t(3));
    }
};

QTEST_MAIN(ServerDialogTest)
#include "ServerDialogTest.moc"
