#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <string>
#include <vector>

#include "EngineLink.h"
#include "FakeEngine.h"
#include "ServerSettings.h"
#include "SettingsPropSheet.h"

namespace {
using Lines = std::vector<std::string>;

struct SeenBox {
    bool opened = false;
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next message box with OK and records what it said.
void AnswerNextMessageBox(SeenBox* seen) {
    QTimer::singleShot(0, [seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen->opened = true;
            seen->text = box->text();
            seen->caption = box->windowTitle();
            seen->icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        }
    });
}

template <typename T>
T* Find(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
}

QPushButton* Button(QWidget& sheet, QDialogButtonBox::StandardButton which) {
    return Find<QDialogButtonBox>(sheet, "buttons")->button(which);
}

void Retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

const Lines kServerDefaults{
    "+servername \"Tarnwick Server\"",
    "+adminname \" \"",
    "+adminemail \" \"",
    "+serverwebsite \" \"",
    "+serverpassword \" \"",
    "+remoteadminpassword \" \"",
};
}  // namespace

class SettingsSheetTest : public QObject {
    Q_OBJECT

private:
    FakeEngine engine;
    ServerSettings& settings = ServerSettings::Instance();

    Lines Sent() {
        Lines lines = engine.Commands();
        engine.ClearCalls();
        return lines;
    }
    static bool Contains(const Lines& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static void SelectTab(SettingsPropSheet& sheet, int index) {
        Find<QTabWidget>(sheet, "pageTabs")->setCurrentIndex(index);
    }
    static int CurrentTab(SettingsPropSheet& sheet) {
        return Find<QTabWidget>(sheet, "pageTabs")->currentIndex();
    }

private slots:
    void init() {
        engine = FakeEngine{};
        EngineLink::Instance().Bind(&engine);
        settings.Reset();
        settings.Load();
        engine.ClearCalls();
    }
    void cleanup() { EngineLink::Instance().Unbind(); }

    // --- the sheet -------------------------------------------------------------------------

    void sheetOpensOnServerWithItsPagesInOrderAndApplyDisabled() {
        SettingsPropSheet sheet;
        sheet.show();
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Server Settings"));
        auto* tabs = Find<QTabWidget>(sheet, "pageTabs");
        QCOMPARE(tabs->count(), 4);
        const QStringList titles{"Server", "Rules", "Team Rules", "Advanced"};
        for (int i = 0; i < 4; ++i) QCOMPARE(tabs->tabText(i), titles[i]);
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!(sheet.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(!Button(sheet, QDialogButtonBox::Apply)->isEnabled());
        QVERIFY(Button(sheet, QDialogButtonBox::Help) == nullptr);
        // Filling the controls is not the operator's doing: nothing sent, nothing modified.
        QCOMPARE(Find<QLineEdit>(sheet, "serverNameEdit")->text(),
                 QStringLiteral("Tarnwick Server"));
        QVERIFY(Sent().empty());
    }

    void okUntouchedSendsExactlyTheServerPagesSixCommands() {
        SettingsPropSheet sheet;
        sheet.show();
        Button(sheet, QDialogButtonBox::Ok)->click();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QCOMPARE(Sent(), kServerDefaults);
    }

    void cancelSendsNothingAndUndoesNothingAlreadySent() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 1);  // leaving Server sends it
        QCOMPARE(Sent(), kServerDefaults);
        Retype(Find<QLineEdit>(sheet, "roundsEdit"), "7");  // sent at once
        Sent();
        Button(sheet, QDialogButtonBox::Cancel)->click();
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QVERIFY(Sent().empty());
        QCOMPARE(settings.Values().numrounds, 7);
    }

    void leavingAPageAppliesItAndOnlyVisitedPagesSend() {
        SettingsPropSheet sheet;
        sheet.show();
        // Straight to Advanced by a click: Rules and Team Rules are never opened.
        QTabBar* bar = Find<QTabWidget>(sheet, "pageTabs")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
        QCOMPARE(CurrentTab(sheet), 3);
        QVERIFY(Find<AdvancedPropPage>(sheet, "AdvancedPropPage")->isVisible());
        QCOMPARE(Sent(), kServerDefaults);
        QCOMPARE(Find<QComboBox>(sheet, "bandwidthCombo")->currentText(), QStringLiteral("DSL"));
        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines advanced = Sent();
        QCOMPARE(advanced.size(), size_t{11});
        QCOMPARE(advanced.front(), std::string("allowuploads 1"));
        QCOMPARE(advanced.back(), std::string("sendbandwidth 32000"));
        QVERIFY(!Contains(advanced, "maxplayers 16"));
    }

    void applyEnablesWithAnyModifiedPageAndClearsThemAll() {
        SettingsPropSheet sheet;
        sheet.show();
        QPushButton* apply = Button(sheet, QDialogButtonBox::Apply);
        Retype(Find<QLineEdit>(sheet, "adminNameEdit"), "Ada");
        QVERIFY(apply->isEnabled());
        SelectTab(sheet, 2);
        Find<QSlider>(sheet, "ffTeamSlider")->setValue(30);
        Sent();
        apply->click();
        QVERIFY(!apply->isEnabled());
        QCOMPARE(CurrentTab(sheet), 2);  // Apply stays on the page
        QVERIFY(Contains(Sent(), "ffteam 0.300000"));
        QVERIFY(sheet.isVisible());
    }

    // --- Server page -----------------------------------------------------------------------

    void shortServerPasswordIsRefusedAndNothingIsSent() {
        SettingsPropSheet sheet;
        sheet.show();
        Retype(Find<QLineEdit>(sheet, "serverPasswordEdit"), "12345");
        SeenBox box;
        AnswerNextMessageBox(&box);
        Button(sheet, QDialogButtonBox::Ok)->click();
        QVERIFY(box.opened);
        QCOMPARE(box.text, QStringLiteral("Password must be at least 6 characters in length."));
        QCOMPARE(box.caption, QStringLiteral("Error"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY(sheet.isVisible());
        QVERIFY(Sent().empty());

        // A tab change is refused the same way, clicked or by keyboard; Apply too, yet it
        // clears the modified marks.
        QTabBar* bar = Find<QTabWidget>(sheet, "pageTabs")->tabBar();
        box = SeenBox{};
        AnswerNextMessageBox(&box);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QVERIFY(box.opened);
        QCOMPARE(CurrentTab(sheet), 0);
        QCOMPARE(bar->currentIndex(), 0);
        QVERIFY(Find<ServerPropPage>(sheet, "ServerPropPage")->isVisible());
        AnswerNextMessageBox(&box);
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(CurrentTab(sheet), 0);
        QVERIFY(!Find<RulesPropPage>(sheet, "RulesPropPage")->IsInitialised());
        AnswerNextMessageBox(&box);
        Button(sheet, QDialogButtonBox::Apply)->click();
        QVERIFY(!Button(sheet, QDialogButtonBox::Apply)->isEnabled());
        QVERIFY(Sent().empty());

        Retype(Find<QLineEdit>(sheet, "serverPasswordEdit"), "123456");
        Button(sheet, QDialogButtonBox::Ok)->click();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QVERIFY(Contains(Sent(), "+serverpassword \"123456\""));
    }

    void shortRemotePasswordIsRefusedToo() {
        SettingsPropSheet sheet;
        sheet.show();
        Retype(Find<QLineEdit>(sheet, "serverPasswordEdit"), "secret1");
        Retype(Find<QLineEdit>(sheet, "remotePasswordEdit"), "abc");
        SeenBox box;
        AnswerNextMessageBox(&box);
        QVERIFY(!sheet.CurrentPage().ApplyPage());
        QCOMPARE(box.text, QStringLiteral("Password must be at least 6 characters in length."));
        QVERIFY(Sent().empty());
    }

    void emptyPasswordsAreAcceptedAsOneBlankAndReadBackEmpty() {
        engine.SetText("serverpassword", "oldsecret");
        {
            SettingsPropSheet sheet;
            sheet.show();
            QCOMPARE(Find<QLineEdit>(sheet, "serverPasswordEdit")->text(),
                     QStringLiteral("oldsecret"));
            Retype(Find<QLineEdit>(sheet, "serverPasswordEdit"), "");
            Button(sheet, QDialogButtonBox::Ok)->click();
            QVERIFY(Contains(Sent(), "+serverpassword \" \""));
        }
        SettingsPropSheet again;
        again.show();
        QCOMPARE(Find<QLineEdit>(again, "serverPasswordEdit")->text(), QString());
    }

    void anEmptyServerNameSendsNothingForIt() {
        SettingsPropSheet sheet;
        sheet.show();
        Retype(Find<QLineEdit>(sheet, "serverNameEdit"), "");
        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines sent = Sent();
        QCOMPARE(sent.size(), size_t{5});
        QCOMPARE(sent.front(), std::string("+adminname \" \""));
    }

    void textsThatWouldBreakTheirCommandAreRefusedBeforeAnythingIsSent() {
        SettingsPropSheet sheet;
        sheet.show();
        // The bad field comes after a good one: the good one must not go out alone.
        Retype(Find<QLineEdit>(sheet, "serverNameEdit"), "Fine Name");
        Retype(Find<QLineEdit>(sheet, "serverWebsiteEdit"), "x\" ; quit \"");
        SeenBox box;
        AnswerNextMessageBox(&box);
        Button(sheet, QDialogButtonBox::Ok)->click();
        QCOMPARE(box.text,
                 QStringLiteral(
                     "The Server Website cannot contain double quotes or control characters."));
        QVERIFY(sheet.isVisible());
        QVERIFY(Sent().empty());

        Find<QLineEdit>(sheet, "serverWebsiteEdit")->setText(QStringLiteral("\u20ac.example"));
        AnswerNextMessageBox(&box);
        QVERIFY(!sheet.CurrentPage().ApplyPage());
        QCOMPARE(box.text, QStringLiteral("The Server Website can only hold Latin-1 characters."));
        QVERIFY(Sent().empty());
    }

    void editsTakeNoMoreThanReadsBackWhole() {
        SettingsPropSheet sheet;
        sheet.show();
        // The longest name makes the round trip through the engine unchanged.
        const QString longest = QString(63, u'n');
        Retype(Find<QLineEdit>(sheet, "serverNameEdit"), longest + "extra");
        Button(sheet, QDialogButtonBox::Ok)->click();
        Sent();
        SettingsPropSheet again;
        again.show();
        QCOMPARE(Find<QLineEdit>(again, "serverNameEdit")->text(), longest);
    }

    // --- Rules page ------------------------------------------------------------------------

    void rulesPageOpensWithTheStoredRules() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 1);
        Sent();
        QCOMPARE(Find<QSlider>(sheet, "maxPlayersSlider")->value(), 16);
        QCOMPARE(Find<QLabel>(sheet, "maxPlayersLabel")->text(), QStringLiteral("16"));
        QCOMPARE(Find<QLineEdit>(sheet, "timeLimitEdit")->text(), QStringLiteral("30"));
        QCOMPARE(Find<QLineEdit>(sheet, "roundsEdit")->text(), QStringLiteral("5"));
        QVERIFY(!Find<QCheckBox>(sheet, "teamFlipCheck")->isChecked());
        QCOMPARE(Find<QLineEdit>(sheet, "flipRoundEdit")->text(), QStringLiteral("1"));
        QVERIFY(!Find<QCheckBox>(sheet, "lanOnlyCheck")->isChecked());
        QVERIFY(!Button(sheet, QDialogButtonBox::Apply)->isEnabled());
    }

    void aPlayerLimitBeyondTheSliderIsKeptUntilTheSliderMoves() {
        settings.SetMaxPlayers(32);
        Sent();
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 1);
        Sent();
        auto* slider = Find<QSlider>(sheet, "maxPlayersSlider");
        QCOMPARE(slider->value(), 24);
        QCOMPARE(Find<QLabel>(sheet, "maxPlayersLabel")->text(), QStringLiteral("32"));
        QVERIFY(sheet.CurrentPage().ApplyPage());
        QCOMPARE(Sent().front(), std::string("maxplayers 32"));

        slider->setValue(10);  // a move sends nothing, it only marks
        QVERIFY(Sent().empty());
        QCOMPARE(Find<QLabel>(sheet, "maxPlayersLabel")->text(), QStringLiteral("10"));
        QVERIFY(Button(sheet, QDialogButtonBox::Apply)->isEnabled());
        Button(sheet, QDialogButtonBox::Ok)->click();
        QCOMPARE(Sent().front(), std::string("maxplayers 10"));
    }

    void everyKeystrokeInARuleSendsTheWholePageInOrder() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 1);
        Sent();
        auto* timeLimit = Find<QLineEdit>(sheet, "timeLimitEdit");
        timeLimit->selectAll();
        QTest::keyClicks(timeLimit, "45");
        const Lines expected{"maxplayers 16", "teamflip 0",  "flipround 1",   "numrounds 5",
                             "timelimit 4",   "lan 0",       "maxplayers 16", "teamflip 0",
                             "flipround 1",   "numrounds 5", "timelimit 45",  "lan 0"};
        QCOMPARE(Sent(), expected);
        QVERIFY(Button(sheet, QDialogButtonBox::Apply)->isEnabled());

        Find<QCheckBox>(sheet, "lanOnlyCheck")->click();
        const Lines lan = Sent();
        QCOMPARE(lan.size(), size_t{6});
        QCOMPARE(lan.back(), std::string("lan 1"));
        QVERIFY(settings.IsLan());
    }

    void digitsOnlyEditsIgnoreOtherKeysAndEmptyMeansZero() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 1);
        auto* rounds = Find<QLineEdit>(sheet, "roundsEdit");
        rounds->selectAll();
        QTest::keyClicks(rounds, "x");
        QCOMPARE(rounds->text(), QStringLiteral("5"));
        Sent();
        Retype(rounds, "");
        QVERIFY(Contains(Sent(), "numrounds 0"));
    }

    // --- Team Rules page -------------------------------------------------------------------

    void teamRulesApplyInOrderWithDisabledControlsStillApplied() {
        settings.SetMirrorDamage(0);
        settings.SetTkPunish(0);
        Sent();
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 2);
        Sent();
        QCOMPARE(Find<QSlider>(sheet, "mirrorPercentSlider")->value(), 50);
        QCOMPARE(Find<QLabel>(sheet, "mirrorPercentLabel")->text(), QStringLiteral("50"));
        QVERIFY(!Find<QSlider>(sheet, "mirrorPercentSlider")->isEnabled());
        QVERIFY(!Find<QLineEdit>(sheet, "teamKillsEdit")->isEnabled());
        QVERIFY(!Find<QLineEdit>(sheet, "civilianKillsEdit")->isEnabled());
        QCOMPARE(Find<QLabel>(sheet, "ffTeamLabel")->text(), QStringLiteral("50"));

        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines expected{"mirrordamage 0",    "mirrordamagepercent 0.500000",
                             "tkpunish 0",        "ffteam 0.500000",
                             "ffallies 0.500000", "numtkstokick 5",
                             "numcivstokick 5",   "mirrorcash 50"};
        QCOMPARE(Sent(), expected);
    }

    void checkBoxesEnableTheirControlsWithoutSending() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 2);
        Sent();
        Find<QCheckBox>(sheet, "mirrorDamageCheck")->click();
        QVERIFY(!Find<QSlider>(sheet, "mirrorPercentSlider")->isEnabled());
        Find<QCheckBox>(sheet, "tkPunishCheck")->click();
        QVERIFY(!Find<QLineEdit>(sheet, "teamKillsEdit")->isEnabled());
        QVERIFY(Sent().empty());
        QVERIFY(Button(sheet, QDialogButtonBox::Apply)->isEnabled());
        Find<QCheckBox>(sheet, "tkPunishCheck")->click();
        QVERIFY(Find<QLineEdit>(sheet, "civilianKillsEdit")->isEnabled());
    }

    void slidersMoveTheirOwnLabelsAndStoreThroughTheFloatHundredth() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 2);
        Find<QSlider>(sheet, "ffAlliesSlider")->setValue(60);
        QCOMPARE(Find<QLabel>(sheet, "ffAlliesLabel")->text(), QStringLiteral("60"));
        QCOMPARE(Find<QLabel>(sheet, "ffTeamLabel")->text(), QStringLiteral("50"));
        Sent();
        Button(sheet, QDialogButtonBox::Ok)->click();
        QVERIFY(Contains(Sent(), "ffallies 0.600000"));
        QCOMPARE(settings.Values().ffallies, 0.59999996f);
        QCOMPARE(settings.Values().ffteam, 0.5f);
    }

    void anEmptyKickCountSendsZeroButAnEmptyCashPenaltyKeepsThePage() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 2);
        Sent();
        Retype(Find<QLineEdit>(sheet, "teamKillsEdit"), "");
        auto* cash = Find<QLineEdit>(sheet, "cashPenaltyEdit");
        Retype(cash, "");
        SeenBox box;
        AnswerNextMessageBox(&box);
        SelectTab(sheet, 3);
        QCOMPARE(box.text, QStringLiteral("Please enter an integer."));
        QCOMPARE(CurrentTab(sheet), 2);
        QVERIFY(!Find<AdvancedPropPage>(sheet, "AdvancedPropPage")->IsInitialised());
        QCOMPARE(sheet.focusWidget(), static_cast<QWidget*>(cash));
        QVERIFY(Sent().empty());

        Retype(cash, "20");
        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines sent = Sent();
        QVERIFY(Contains(sent, "numtkstokick 0"));
        QVERIFY(Contains(sent, "mirrorcash 20"));
    }

    void aCashPenaltyLeavesMirrorDamageAsTheCheckBoxShows() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 2);
        Retype(Find<QLineEdit>(sheet, "cashPenaltyEdit"), "75");
        Find<QSlider>(sheet, "ffTeamSlider")->setValue(40);
        QVERIFY(Find<QCheckBox>(sheet, "mirrorDamageCheck")->isChecked());
        Sent();
        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines sent = Sent();
        QCOMPARE(sent.front(), std::string("mirrordamage 1"));
        QVERIFY(Contains(sent, "mirrorcash 75"));
        QCOMPARE(Find<QLineEdit>(sheet, "cashPenaltyEdit")->maxLength(), 4);
    }

    // --- Advanced page ---------------------------------------------------------------------

    void advancedPageOpensWithTheStoredValues() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        auto* combo = Find<QComboBox>(sheet, "bandwidthCombo");
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->count(), 6);
        QCOMPARE(combo->itemText(5), QStringLiteral("CUSTOM"));
        QCOMPARE(combo->currentIndex(), 2);
        auto* custom = Find<QLineEdit>(sheet, "customBandwidthEdit");
        QVERIFY(!custom->isEnabled());
        QCOMPARE(custom->text(), QStringLiteral("32000"));
        QCOMPARE(custom->maxLength(), 9);
        QCOMPARE(Find<QSlider>(sheet, "kickVoteSlider")->value(), 60);
        QCOMPARE(Find<QLabel>(sheet, "mapVoteLabel")->text(), QStringLiteral("60"));
        QVERIFY(Find<QSlider>(sheet, "mapVoteSlider")->isEnabled());
        QCOMPARE(Find<QLineEdit>(sheet, "kickAfkEdit")->text(), QStringLiteral("8"));
        QVERIFY(!Button(sheet, QDialogButtonBox::Apply)->isEnabled());
    }

    void choosingAPresetSendsItsBandwidthButNoCustomValue() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        Sent();
        Find<QComboBox>(sheet, "bandwidthCombo")->setCurrentIndex(3);
        auto* custom = Find<QLineEdit>(sheet, "customBandwidthEdit");
        QVERIFY(!custom->isEnabled());
        QCOMPARE(custom->text(), QStringLiteral("1000000"));
        const Lines expected{"allowuploads 1",
                             "logevents 0",
                             "voting 1",
                             "playerkickvote 0.600000",
                             "mapvote 0.600000",
                             "autoteambalance 1",
                             "voip 0",
                             "kickafktime 8",
                             "forceteambalance 0",
                             "serverbandwidth 3",
                             "sendbandwidth 1000000"};
        QCOMPARE(Sent(), expected);
        QCOMPARE(settings.Values().custombandwidth, 32000);
        QVERIFY(Button(sheet, QDialogButtonBox::Apply)->isEnabled());
    }

    void choosingCustomShowsAndSendsTheStoredCustomValue() {
        settings.SetCustomBandwidth(20000);
        Sent();
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        Sent();
        auto* combo = Find<QComboBox>(sheet, "bandwidthCombo");
        combo->setCurrentIndex(5);
        auto* custom = Find<QLineEdit>(sheet, "customBandwidthEdit");
        QVERIFY(custom->isEnabled());
        QCOMPARE(custom->text(), QStringLiteral("20000"));
        Lines sent = Sent();
        QCOMPARE(Lines(sent.end() - 3, sent.end()),
                 (Lines{"serverbandwidth 5", "custombandwidth 20000", "sendbandwidth 20000"}));

        // A look at a preset keeps the custom value for the way back.
        combo->setCurrentIndex(0);
        QCOMPARE(custom->text(), QStringLiteral("4000"));
        combo->setCurrentIndex(5);
        QCOMPARE(custom->text(), QStringLiteral("20000"));
        Sent();

        Retype(custom, "abc");  // no leading digits: zero, as typed
        QVERIFY(Sent().empty());
        Button(sheet, QDialogButtonBox::Ok)->click();
        sent = Sent();
        QCOMPARE(Lines(sent.end() - 2, sent.end()),
                 (Lines{"custombandwidth 0", "sendbandwidth 0"}));
    }

    void aStoredBandwidthOutsideThePresetsOpensOnTheDefault() {
        settings.SetServerBandwidth(9);
        Sent();
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        QCOMPARE(Find<QComboBox>(sheet, "bandwidthCombo")->currentIndex(), 2);
        QCOMPARE(Find<QLineEdit>(sheet, "customBandwidthEdit")->text(), QStringLiteral("32000"));
        Sent();
        Button(sheet, QDialogButtonBox::Ok)->click();
        const Lines sent = Sent();
        QVERIFY(Contains(sent, "serverbandwidth 2"));
        QCOMPARE(sent.back(), std::string("sendbandwidth 32000"));
    }

    void switchesApplyAtOnceVotingOnlyMarks() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        Sent();
        Find<QCheckBox>(sheet, "voipCheck")->click();
        Lines sent = Sent();
        QCOMPARE(sent.size(), size_t{11});
        QVERIFY(Contains(sent, "voip 1"));

        Find<QCheckBox>(sheet, "votingCheck")->click();
        Find<QCheckBox>(sheet, "forceTeamBalanceCheck")->click();
        QVERIFY(!Find<QSlider>(sheet, "kickVoteSlider")->isEnabled());
        QVERIFY(!Find<QSlider>(sheet, "mapVoteSlider")->isEnabled());
        QVERIFY(Sent().empty());
        Button(sheet, QDialogButtonBox::Ok)->click();
        sent = Sent();
        QVERIFY(Contains(sent, "voting 0"));
        QVERIFY(Contains(sent, "playerkickvote 0.600000"));  // disabled, still applied
        QVERIFY(Contains(sent, "forceteambalance 1"));
    }

    void anEmptyIdleKickIsRefusedAndNothingIsSent() {
        SettingsPropSheet sheet;
        sheet.show();
        SelectTab(sheet, 3);
        Retype(Find<QLineEdit>(sheet, "kickAfkEdit"), "");
        Sent();
        SeenBox box;
        AnswerNextMessageBox(&box);
        Button(sheet, QDialogButtonBox::Ok)->click();
        QCOMPARE(box.text, QStringLiteral("Please enter an integer."));
        QVERIFY(sheet.isVisible());
        QCOMPARE(CurrentTab(sheet), 3);
        QVERIFY(Sent().empty());
    }

    void aVoteRatioOfPointSixKeepsItsPositionThroughApplies() {
        for (int expected : {60, 60, 60}) {
            SettingsPropSheet sheet;
            sheet.show();
            SelectTab(sheet, 3);
            QCOMPARE(Find<QSlider>(sheet, "kickVoteSlider")->value(), expected);
            QCOMPARE(Find<QSlider>(sheet, "mapVoteSlider")->value(), expected);
            Button(sheet, QDialogButtonBox::Ok)->click();
            QCOMPARE(settings.Values().playerkickvote, 0.59999996f);
        }
        QCOMPARE(settings.Values().mapvote, 0.59999996f);
        // 0.5 holds its place through any number of applies.
        for (int i = 0; i < 3; ++i) {
            SettingsPropSheet sheet;
            sheet.show();
            SelectTab(sheet, 2);
            QCOMPARE(Find<QSlider>(sheet, "ffTeamSlider")->value(), 50);
            Button(sheet, QDialogButtonBox::Ok)->click();
        }
        QCOMPARE(settings.Values().ffteam, 0.5f);
    }
};

QTEST_MAIN(SettingsSheetTest)
#include "SettingsSheetTest.moc"
