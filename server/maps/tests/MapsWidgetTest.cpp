#include <QPushButton>
#include <QtTest>

#include "ChangeMapDialog.h"
#include "EngineLink.h"
#include "FakeEngine.h"
#include "MapRotationDialog.h"
#include "ReorderListView.h"
#include "ServerSettings.h"

using Lines = std::vector<std::string>;

namespace {
QStringList Rows(const QTreeWidget& list) {
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) rows << list.topLevelItem(i)->text(0);
    return rows;
}

QPoint Centre(QTreeWidget& l, int row) {
    return l.visualItemRect(l.topLevelItem(row)).center();
}

void DoubleClickRow(QTreeWidget& list, int row) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, Centre(list, row));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, Centre(list, row));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, Centre(list, row));
}

QTreeWidget& ListOf(QDialog& d, const char* name = "rotationList") {
    return *d.findChild<QTreeWidget*>(name);
}

void Fill(QTreeWidget& list, const QStringList& rows) {
    list.clear();
    for (const QString& text : rows) list.addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
}

// Presses on a row, passes over the others in turn and releases on the last of them.
void Drag(QTreeWidget& list, Qt::MouseButton button, int from, std::initializer_list<int> over) {
    QTest::mousePress(list.viewport(), button, {}, Centre(list, from));
    for (int row : over) QTest::mouseMove(list.viewport(), Centre(list, row));
    QTest::mouseRelease(list.viewport(), button, {}, Centre(list, *(over.end() - 1)));
}
}  // namespace

class MapsWidgetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeEngine> engine;
    std::mutex lock;
    ServerSettings& settings = ServerSettings::Instance();

    void SetRotation(int numMaps, const std::vector<std::string>& worlds) {
        settings.SetNumMaps(numMaps);
        for (std::size_t i = 0; i < worlds.size(); ++i)
            if (!worlds[i].empty()) engine->SetText("map" + std::to_string(i), worlds[i]);
        engine->ClearCalls();
    }

private slots:
    void init() {
        engine = std::make_unique<FakeEngine>();
        settings.Reset();
        EngineLink::Instance().Bind(engine.get(), &lock);
    }
    void cleanup() { EngineLink::Instance().Unbind(); }

    void RotationOkWritesTheKeptEntriesAndCancelNothing() {
        SetRotation(0, {"worlds/a"});
        MapRotationDialog empty;
        empty.accept();
        QCOMPARE(engine->Commands(), Lines{"nummaps 0"});

        SetRotation(5, {"worlds/A", "worlds/b", "worlds/c", "worlds/d", "worlds/e"});
        MapRotationDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        DoubleClickRow(ListOf(dialog), 4);
        DoubleClickRow(ListOf(dialog), 3);
        MapRotationDialog cancelled;
        ListOf(cancelled).clear();
        cancelled.reject();
        QVERIFY(engine->Commands().empty());
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(engine->Commands(),
                 (Lines{"map0 worlds/a", "map1 worlds/b", "map2 worlds/c", "nummaps 3"}));
    }

    void ChangeMapSendsTheChosenRowsOwnPositionUnderTheLock() {
        SetRotation(3, {"worlds/Antarctica", "", "worlds/C"});
        ChangeMapDialog dialog;
        dialog.accept();  // with nothing chosen
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(Rows(ListOf(dialog)), QStringList({"worlds/antarctica", "worlds/c"}));
        DoubleClickRow(ListOf(dialog), 1);  // only selects
        QVERIFY(engine->Commands().empty() && dialog.isVisible());
        engine->onCall = [&](auto&) { QVERIFY(!LockIsFree(lock)); };
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(engine->Commands(), Lines{"changemap 2"});
    }

    void WorldNamesShowAsTextAndGoBackByteForByte() {
        // UTF-8 bytes show as their characters, any other byte as its Latin-1 character; so
        // "\xC3\xA9" and "\xE9" both show as "é", and each row still writes its own bytes.
        engine->files = {{1, "worlds/Z\xC3\xBCrich.dat"},
                         {1, "worlds/M\xE9xico.dat"},
                         {1, "worlds/tab\there.dat"},
                         {1, "worlds/line\nfeed.dat"}};
        SetRotation(2, {"worlds/\xC3\xA9t\xC3\xA9", "worlds/\xE9t\xE9"});
        ChangeMapDialog change;
        QCOMPARE(Rows(ListOf(change)), QStringList({"worlds/été", "worlds/été"}));

        MapRotationDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget& worlds = ListOf(dialog, "worldList");
        QCOMPARE(Rows(worlds), QStringList({"worlds/méxico", "worlds/zürich"}));
        QCOMPARE(Rows(ListOf(dialog)), QStringList({"worlds/été", "worlds/été"}));
        DoubleClickRow(worlds, 0);
        DoubleClickRow(worlds, 1);
        engine->ClearCalls();
        dialog.accept();
        QCOMPARE(engine->Commands(),
                 (Lines{"map0 worlds/\xC3\xA9t\xC3\xA9", "map1 worlds/\xE9t\xE9",
                        "map2 worlds/m\xE9xico", "map3 worlds/z\xC3\xBCrich", "nummaps 4"}));
    }

    void DragMovesTheRowToTheDropRowsFormerPlace() {
        const QStringList abcd{"a", "b", "c", "d"};
        ReorderListView list;
        Fill(list, abcd);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        // Downward it lands just after the drop row; the image follows the pointer meanwhile.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, Centre(list, 0));
        QTest::mouseMove(list.viewport(), Centre(list, 1));
        QVERIFY(list.IsDragging() && list.DragImage() && list.DragImage()->isVisible());
        QTest::mouseMove(list.viewport(), Centre(list, 2));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, Centre(list, 2));
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QCOMPARE(Rows(list), QStringList({"b", "c", "a", "d"}));

        // Upward, with either button, just before it: the last row passed over is the drop row.
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            Fill(list, abcd);
            Drag(list, button, 3, {2, 1});
            QCOMPARE(Rows(list), QStringList({"a", "d", "b", "c"}));
        }

        // Back over its own row, or with no drop row or one outside the list, nothing moves.
        Fill(list, abcd);
        Drag(list, Qt::LeftButton, 1, {2, 1});
        QVERIFY(!list.MoveRow(1, std::nullopt) && !list.MoveRow(0, 4) && !list.MoveRow(-1, 0));
        QCOMPARE(Rows(list), abcd);

        // A list hidden mid-drag (its dialog closed by key) drops the drag and its image.
        QTest::mousePress(list.viewport(), Qt::RightButton, {}, Centre(list, 3));
        QTest::mouseMove(list.viewport(), Centre(list, 1));
        QVERIFY(list.IsDragging());
        list.hide();
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QCOMPARE(Rows(list), abcd);
    }
};

QTEST_MAIN(MapsWidgetTest)
#include "MapsWidgetTest.moc"
