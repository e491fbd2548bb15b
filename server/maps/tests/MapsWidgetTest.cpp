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

QTreeWidget& ListOf(QDialog& d) {
    return *d.findChild<QTreeWidget*>("rotationList");
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
        engine->onCall = [&](auto&) { QVERIFY(!lock.try_lock() || (lock.unlock(), false)); };
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(engine->Commands(), Lines{"changemap 2"});
    }

    void DraggingWithTheMouseMovesTheRow() {
        ReorderListView list;
        for (const char* text : {"a", "b", "c", "d"})
            list.addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, Centre(list, 0));
        QTest::mouseMove(list.viewport(), Centre(list, 1));
        QVERIFY(list.IsDragging() && list.DragImage() && list.DragImage()->isVisible());
        QTest::mouseMove(list.viewport(), Centre(list, 2));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, Centre(list, 2));
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QCOMPARE(Rows(list), QStringList({"b", "c", "a", "d"}));

        // A list hidden mid-drag (its dialog closed by key) drops the drag and its image.
        QTest::mousePress(list.viewport(), Qt::RightButton, {}, Centre(list, 3));
        QTest::mouseMove(list.viewport(), Centre(list, 1));
        list.hide();
        QVERIFY(!list.IsDragging() && !list.DragImage());
    }
};

QTEST_MAIN(MapsWidgetTest)
#include "MapsWidgetTest.moc"
