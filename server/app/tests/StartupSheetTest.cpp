#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "FakeEngine.h"
#include "ServerApp.h"
#include "ServerDialog.h"
#include "ServerSettings.h"
#include "SettingsPropSheet.h"

namespace {
FakeEngine* boundFake = nullptr;

int32_t CreateFake(int32_t, const EngineInterfaceGuid*, ServerEngine** engine) {
    *engine = boundFake;
    return boundFake ? 0 : 1;
}
void ReleaseFake() {}
constexpr EngineModule kFakeModule{&CreateFake, &ReleaseFake};

struct SeenSheet {
    bool opened = false;
    QWidget* parent = nullptr;
    QString title;
};

// Closes the next settings sheet that runs modally with the given button.
void CloseNextSheet(QDialogButtonBox::StandardButton button, SeenSheet* seen) {
    QTimer::singleShot(0, [button, seen] {
        if (auto* sheet = qobject_cast<SettingsPropSheet*>(QApplication::activeModalWidget())) {
            seen->opened = true;
            seen->parent = sheet->parentWidget();
            seen->title = sheet->windowTitle();
            sheet->findChild<QDialogButtonBox*>("buttons")->button(button)->click();
        }
    });
}
}  // namespace

class StartupSheetTest : public QObject {
    Q_OBJECT

private:
    FakeEngine engine;

    static std::vector<std::string> Calls(ServerDialog& dialog, FakeEngine& fake) {
        std::lock_guard guard(dialog.Session().EngineLock());
        return fake.calls;
    }
    static long Count(const std::vector<std::string>& calls, const std::string& call) {
        return std::count(calls.begin(), calls.end(), call);
    }
    static long IndexOf(const std::vector<std::string>& calls, const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    }

private slots:
    void init() {
        engine = FakeEngine{};
        boundFake = &engine;
        ServerSettings::Instance().Reset();
    }

    void dashSSkipsTheSheetAndAnythingElseShowsIt() {
        QVERIFY(!ServerApp::StartupSettingsSheet({"server", "-s"}));
        QVERIFY(!ServerApp::StartupSettingsSheet({"server", "-Silent"}));
        QVERIFY(ServerApp::StartupSettingsSheet({"server"}));
        QVERIFY(ServerApp::StartupSettingsSheet({"server", "/s"}));
    }

    void cancellingTheStartupSheetSavesAndClosesTheProgram() {
        ServerDialog dialog(kFakeModule, ServerApp::StartupSettingsSheet({"server"}));
        SeenSheet seen;
        CloseNextSheet(QDialogButtonBox::Cancel, &seen);
        QCOMPARE(dialog.Initialise(), std::optional<int>(0));
        QVERIFY(seen.opened);
        QCOMPARE(seen.parent, static_cast<QWidget*>(nullptr));
        QCOMPARE(seen.title, QStringLiteral("Server Settings"));
        const auto calls = Calls(dialog, engine);
        QCOMPARE(Count(calls, "WriteConfig tarnwick/server.cfg 4"), 1L);
        QCOMPARE(Count(calls, "InitServer 16"), 0L);
        QCOMPARE(Count(calls, "ExecuteCommand +adminname \" \""), 1L);  // only the load's default
    }

    void okOnTheStartupSheetSendsTheServerPageThenSavesAndStarts() {
        ServerDialog dialog(kFakeModule, ServerApp::StartupSettingsSheet({"server"}));
        SeenSheet seen;
        CloseNextSheet(QDialogButtonBox::Ok, &seen);
        QCOMPARE(dialog.Initialise(), std::nullopt);
        QVERIFY(seen.opened);
        QVERIFY(dialog.Session().IsWorkerRunning());
        const auto calls = Calls(dialog, engine);
        // The load pushed the default once; the page sent it again, before the save.
        QCOMPARE(Count(calls, "ExecuteCommand +remoteadminpassword \" \""), 2L);
        const long save = IndexOf(calls, "WriteConfig tarnwick/server.cfg 4");
        QVERIFY(save < static_cast<long>(calls.size()));
        QVERIFY(std::find(calls.begin() + save, calls.end(),
                          "ExecuteCommand +remoteadminpassword \" \"") == calls.end());
    }

    void menuSettingsOpensOverTheRunningWindowAndSavesNothing() {
        ServerDialog dialog(kFakeModule);
        QCOMPARE(dialog.Initialise(), std::nullopt);
        auto* action = dialog.findChild<QAction*>("actionSettings");
        QVERIFY(action->isEnabled());
        SeenSheet seen;
        CloseNextSheet(QDialogButtonBox::Ok, &seen);
        action->trigger();
        QVERIFY(seen.opened);
        QCOMPARE(seen.parent, static_cast<QWidget*>(&dialog));
        const auto calls = Calls(dialog, engine);
        QCOMPARE(Count(calls, "ExecuteCommand +servername \"Tarnwick Server\""), 2L);
        QCOMPARE(Count(calls, "WriteConfig tarnwick/server.cfg 4"), 1L);  // the start-up's only
    }
};

QTEST_MAIN(StartupSheetTest)
#include "StartupSheetTest.moc"
