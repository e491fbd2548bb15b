#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FakeServer.h"
#include "SettingsPropSheet.h"

namespace {
using Lines = std::vector<std::string>;
// clang-format off
const Lines kServerDefaults{"+servername \"Tarnwick Server\"", "+adminname \" \"",
                            "+adminemail \" \"", "+serverwebsite \" \"", "+serverpassword \" \"",
                            "+remoteadminpassword \" \""};
// clang-format on

// Answers the next message box with OK, recording its caption and text.
void AnswerNextMessageBox(QString* seen) {
    QTimer::singleShot(0, [seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *seen = box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
}
}  // namespace

class SettingsSheetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeServer> server;
    std::unique_ptr<SettingsPropSheet> sheet;

    Lines Sent() { return server->TakeCommands(); }
    // Opens a new sheet on the given page, forgetting what opening it sent.
    void Open(int tab) {
        sheet = std::make_unique<SettingsPropSheet>(server->core);
        sheet->show();
        Tabs()->setCurrentIndex(tab);
        Sent();
    }
    template <typename T>
    T* Get(const char* name) {
        T* child = sheet->findChild<T*>(QString::fromLatin1(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }
    QTabWidget* Tabs() { return Get<QTabWidget>("pageTabs"); }
    void Ok() { Get<QDialogButtonBox>("buttons")->button(QDialogButtonBox::Ok)->click(); }
    void Retype(const char* name, const QString& text) {
        auto* edit = Get<QLineEdit>(name);
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }

private slots:
    void init() {
        server = std::make_unique<FakeServer>();
        QVERIFY(server->Start());
        Sent();
    }
    void cleanup() {
        sheet.reset();
        server.reset();
    }

    // OK on an untouched page sends exactly that page; emptied passwords go as one blank each,
    // and an emptied kick count as zero.
    void okSendsThePageWithEmptyPasswordsAsOneBlankAndAnEmptyKickCountAsZero() {
        Open(0);
        Ok();
        QCOMPARE(sheet->result(), int(QDialog::Accepted));
        QCOMPARE(Sent(), kServerDefaults);
        server->SetText("serverpassword", "oldsecret");
        server->SetText("remoteadminpassword", "oldsecret");
        Open(0);
        Retype("serverPasswordEdit", "");
        Retype("remotePasswordEdit", "");
        Ok();
        QCOMPARE(Sent(), kServerDefaults);
        Open(2);
        Retype("teamKillsEdit", "");
        Ok();
        const Lines sent = Sent();
        QVERIFY(std::find(sent.begin(), sent.end(), "numtkstokick 0") != sent.end());
    }

    // A value the page cannot send keeps the page, says why and sends nothing, whether the page
    // is left or the sheet closed with OK; a stored value too long for its field opens whole.
    void aRefusedValueKeepsItsPageSaysWhyAndSendsNothing() {
        server->Set(Setting::MirrorCash, 50000);
        server->Set(Setting::ServerBandwidth, 5);
        server->Set(Setting::CustomBandwidth, 1234567890);
        const QString tooLong =
            QStringLiteral("Tarnwick Server: Please enter no more than %1 characters.");
        const QString shortPassword =
            QStringLiteral("Error: Password must be at least 6 characters in length.");
        struct Case {
            int tab;
            const char* edit;
            bool typed;  // or stored, and shown whole
            QString text;
            bool ok;
            QString box;
        };
        const Case cases[] = {
            {0, "serverPasswordEdit", true, "12345", false, shortPassword},
            {0, "remotePasswordEdit", true, "12345", false, shortPassword},
            {0, "serverWebsiteEdit", true, "x\" ; quit \"", true,
             "Tarnwick Server: The Server Website cannot contain double quotes or control "
             "characters."},
            {2, "cashPenaltyEdit", true, "", false, "Tarnwick Server: Please enter an integer."},
            {2, "cashPenaltyEdit", false, "50000", true, tooLong.arg(4)},
            {3, "customBandwidthEdit", false, "1234567890", false, tooLong.arg(9)},
            {0, "remotePasswordEdit", false, QString(40, u'r'), false, tooLong.arg(31)},
        };
        for (const Case& c : cases) {
            // Last: the sheet opens on the Server page, which would then keep it there.
            if (c.tab == 0 && !c.typed)
                server->SetText("remoteadminpassword", c.text.toStdString());
            Open(c.tab);
            if (c.typed)
                Retype(c.edit, c.text);
            else
                QCOMPARE(Get<QLineEdit>(c.edit)->text(), c.text);
            if (c.tab == 0) Retype("serverNameEdit", "Fine Name");
            QString box;
            AnswerNextMessageBox(&box);
            if (c.ok)
                Ok();
            else
                Tabs()->setCurrentIndex(1);
            QCOMPARE(box, c.box);
            QCOMPARE(Tabs()->currentIndex(), c.tab);
            QVERIFY(sheet->isVisible());
            QVERIFY2(Sent().empty(), c.edit);
        }
    }

    void editsTakeNoMoreThanTheirFieldAndOnlyDigitsWhereNumbers() {
        Open(0);
        const std::pair<const char*, int> limits[] = {
            {"serverNameEdit", 63},    {"adminNameEdit", 31},      {"adminEmailEdit", 47},
            {"serverWebsiteEdit", 47}, {"serverPasswordEdit", 31}, {"remotePasswordEdit", 31}};
        for (auto [name, limit] : limits) {
            Retype(name, QString(70, u'n'));
            QCOMPARE(Get<QLineEdit>(name)->text(), QString(limit, u'n'));
        }
        Open(2);
        Retype("cashPenaltyEdit", "x123456");
        QCOMPARE(Get<QLineEdit>("cashPenaltyEdit")->text(), QStringLiteral("1234"));
        server->Set(Setting::ServerBandwidth, 5);
        Open(3);
        Retype("customBandwidthEdit", "x12345678901");
        QCOMPARE(Get<QLineEdit>("customBandwidthEdit")->text(), QStringLiteral("123456789"));
        Open(0);
        Retype("serverNameEdit", QString(70, u'n'));
        Ok();
        Open(0);  // read back whole
        QCOMPARE(Get<QLineEdit>("serverNameEdit")->text(), QString(63, u'n'));
    }

    // Every keystroke in a rule sends the whole page; a player limit beyond the slider is kept.
    void everyKeystrokeInARuleSendsTheWholePageAndKeepsAPlayerLimitBeyondTheSlider() {
        server->Set(Setting::MaxPlayers, 32);
        Open(1);
        QCOMPARE(Get<QSlider>("maxPlayersSlider")->value(), 24);
        QCOMPARE(Get<QLabel>("maxPlayersLabel")->text(), QStringLiteral("32"));
        Retype("timeLimitEdit", "45");
        const Lines expected{"maxplayers 32", "teamflip 0",  "flipround 1",   "numrounds 5",
                             "timelimit 4",   "lan 0",       "maxplayers 32", "teamflip 0",
                             "flipround 1",   "numrounds 5", "timelimit 45",  "lan 0"};
        QCOMPARE(Sent(), expected);
    }

    void disabledControlsAreStillApplied() {
        server->Set(Setting::MirrorDamage, 0);
        server->Set(Setting::TkPunish, 0);
        Open(2);
        QVERIFY(!Get<QSlider>("mirrorPercentSlider")->isEnabled());
        QVERIFY(!Get<QLineEdit>("teamKillsEdit")->isEnabled());
        Ok();
        const Lines expected{"mirrordamage 0",    "mirrordamagepercent 0.500000",
                             "tkpunish 0",        "ffteam 0.500000",
                             "ffallies 0.500000", "numtkstokick 5",
                             "numcivstokick 5",   "mirrorcash 50"};
        QCOMPARE(Sent(), expected);
    }

    // A slider's round trip over visits is SettingRulesTest's; here the page uses it both ways.
    void aPresetSendsItsBandwidthCustomSendsAllThreeAndASliderKeepsItsPosition() {
        Open(3);
        QCOMPARE(Get<QSlider>("kickVoteSlider")->value(), 60);
        Get<QComboBox>("bandwidthCombo")->setCurrentIndex(3);
        Lines sent = Sent();
        QCOMPARE(Lines(sent.end() - 2, sent.end()),
                 (Lines{"serverbandwidth 3", "sendbandwidth 1000000"}));
        QVERIFY(std::none_of(sent.begin(), sent.end(), [](const std::string& l) {
            return l.starts_with("custombandwidth");
        }));
        server->Set(Setting::CustomBandwidth, 20000);
        Open(3);
        Get<QComboBox>("bandwidthCombo")->setCurrentIndex(5);
        QCOMPARE(Get<QLineEdit>("customBandwidthEdit")->text(), QStringLiteral("20000"));
        sent = Sent();
        QCOMPARE(Lines(sent.end() - 3, sent.end()),
                 (Lines{"serverbandwidth 5", "custombandwidth 20000", "sendbandwidth 20000"}));
        Ok();
        QCOMPARE(server->core.SettingValues().playerkickvote, 0.59999996f);
        Open(3);
        QCOMPARE(Get<QSlider>("kickVoteSlider")->value(), 60);
    }
};

QTEST_MAIN(SettingsSheetTest)
#include "SettingsSheetTest.moc"
