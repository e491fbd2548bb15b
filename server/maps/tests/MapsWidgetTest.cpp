#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <mutex>
#include <string>
#include <vector>

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

QPoint RowCentre(QTreeWidget& list, int row) {
    return list.visualItemRect(list.topLevelItem(row)).center();
}

// What the platform delivers for a double-click: a click, then the double-click and its release.
void DoubleClickRow(QTreeWidget& list, int row) {
    const QPoint centre = RowCentre(list, row);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, centre);
}

void Drag(QTreeWidget& list, Qt::MouseButton button, int fromRow, const QList<QPoint>& path) {
    QTest::mousePress(list.viewport(), button, {}, RowCentre(list, fromRow));
    for (const QPoint& point : path) QTest::mouseMove(list.viewport(), point);
    QTest::mouseRelease(list.viewport(), button, {}, path.back());
}

QTreeWidget& ListOf(QDialog& dialog, const char* name) {
    return *dialog.findChild<QTreeWidget*>(name);
}

void Press(QDialog& dialog, const char* button) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
}
}  // namespace

class MapsWidgetTest : public QObject {
    Q_OBJECT

    FakeEngine* engine = nullptr;
    std::mutex lock;
    ServerSettings& settings = ServerSettings::Instance();

    void SetRotation(int numMaps, const std::vector<std::pair<int, std::string>>& entries) {
        settings.SetNumMaps(numMaps);
        for (const auto& [position, world] : entries)
            engine->SetText("map" + std::to_string(position), world);
        engine->ClearCalls();
    }

private slots:
    void init() {
        engine = new FakeEngine;
        settings.Reset();
        EngineLink::Instance().Bind(engine, &lock);
    }
    void cleanup() {
        EngineLink::Instance().Unbind();
        settings.Reset();
        delete engine;
    }

    void RotationEditorScansUnderAWaitCursorAndListsSorted() {
        engine->files = {{1, "worlds/Zulu.dat"}, {1, "worlds/alpha.DAT"}, {1, "worlds/Mike.dat"}};
        SetRotation(4, {{0, "worlds/Zulu"}, {1, "worlds/gone"}, {3, "worlds/alpha"}});
        bool waitCursor = false;
        engine->onCall = [&](const std::string& call) {
            if (call.rfind("ListFiles", 0) == 0)
                waitCursor = QApplication::overrideCursor() &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        };
        MapRotationDialog dialog;
        QVERIFY(waitCursor);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Rows(ListOf(dialog, "worldList")),
                 QStringList({"worlds/alpha", "worlds/mike", "worlds/zulu"}));
        QCOMPARE(Rows(ListOf(dialog, "rotationList")),
                 QStringList({"worlds/zulu", "worlds/gone", "worlds/alpha"}));
    }

    void OkOnAnEmptyRotationWritesLengthZero() {
        engine->files = {{1, "worlds/a.dat"}};
        SetRotation(0, {{0, "worlds/a"}});
        MapRotationDialog dialog;
        QVERIFY(Rows(ListOf(dialog, "rotationList")).isEmpty());
        engine->ClearCalls();
        dialog.accept();
        QCOMPARE(engine->Commands(), Lines{"nummaps 0"});
    }

    void RemovingTheLastTwoOfFiveWritesThreeEntries() {
        SetRotation(
            5,
            {{0, "worlds/A"}, {1, "worlds/b"}, {2, "worlds/c"}, {3, "worlds/d"}, {4, "worlds/e"}});
        MapRotationDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        DoubleClickRow(ListOf(dialog, "rotationList"), 4);
        DoubleClickRow(ListOf(dialog, "rotationList"), 3);
        engine->ClearCalls();
        Press(dialog, "okButton");
        QCOMPARE(engine->Commands(),
                 (Lines{"map0 worlds/a", "map1 worlds/b", "map2 worlds/c", "nummaps 3"}));
        QCOMPARE(settings.NumMaps(), 3);
    }

    void AddingTwiceThenCancellingWritesNothing() {
        engine->files = {{1, "worlds/c.dat"}, {1, "worlds/a.dat"}, {1, "worlds/b.dat"}};
        SetRotation(1, {{0, "worlds/X"}});
        MapRotationDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        DoubleClickRow(ListOf(dialog, "worldList"), 1);
        DoubleClickRow(ListOf(dialog, "worldList"), 1);
        QCOMPARE(Rows(ListOf(dialog, "rotationList")),
                 QStringList({"worlds/x", "worlds/b", "worlds/b"}));
        engine->ClearCalls();
        Press(dialog, "cancelButton");
        QVERIFY(engine->calls.empty());
        QCOMPARE(engine->Find("map0")->text, std::string("worlds/X"));
    }

    void DraggingMovesTheRowToTheDropRowsPlace() {
        ReorderListView list;
        list.resize(200, 200);
        const auto fill = [&list] {
            list.clear();
            for (const char* text : {"a", "b", "c", "d"})
                list.addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
        };
        fill();
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        // a onto c, the image following the pointer on the way.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
        QTest::mouseMove(list.viewport(), RowCentre(list, 1));
        QVERIFY(list.IsDragging() && list.DragImage() && list.DragImage()->isVisible());
        const QPoint before = list.DragImage()->pos();
        QTest::mouseMove(list.viewport(), RowCentre(list, 2));
        QCOMPARE(list.DragImage()->pos() - before, RowCentre(list, 2) - RowCentre(list, 1));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QCOMPARE(Rows(list), QStringList({"b", "c", "a", "d"}));

        // d onto b with the right button.
        fill();
        Drag(list, Qt::RightButton, 3, {RowCentre(list, 2), RowCentre(list, 1)});
        QCOMPARE(Rows(list), QStringList({"a", "d", "b", "c"}));

        // Back over the dragged row itself: nothing moves.
        Drag(list, Qt::LeftButton, 1, {RowCentre(list, 2), RowCentre(list, 1)});
        QCOMPARE(Rows(list), QStringList({"a", "d", "b", "c"}));

        // Released below the rows: the last row passed over is the drop row.
        const QPoint below(RowCentre(list, 3).x(), list.viewport()->height() - 2);
        Drag(list, Qt::LeftButton, 0, {RowCentre(list, 2), below});
        QCOMPARE(Rows(list), QStringList({"d", "b", "a", "c"}));

        // A press below the rows starts no drag.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, below);
        QTest::mouseMove(list.viewport(), RowCentre(list, 0));
        QVERIFY(!list.IsDragging());
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
        QCOMPARE(Rows(list), QStringList({"d", "b", "a", "c"}));

        // A list hidden mid-drag (its dialog closed by key) drops the drag and its image.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
        QTest::mouseMove(list.viewport(), RowCentre(list, 2));
        list.hide();
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
        QCOMPARE(Rows(list), QStringList({"d", "b", "a", "c"}));
    }

    void ChangeMapSendsTheChosenRowsOwnPosition() {
        SetRotation(3, {{0, "worlds/Antarctica"}, {2, "worlds/C"}});
        ChangeMapDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget& list = ListOf(dialog, "rotationList");
        QCOMPARE(Rows(list), QStringList({"worlds/antarctica", "worlds/c"}));

        DoubleClickRow(list, 1);  // only selects
        QVERIFY(engine->Commands().empty() && dialog.isVisible());
        bool locked = false;
        engine->onCall = [&](const std::string&) {
            locked = !lock.try_lock();
            if (!locked) lock.unlock();
        };
        Press(dialog, "okButton");
        QCOMPARE(engine->Commands(), Lines{"changemap 2"});
        QVERIFY(locked);
    }

    void ChangeMapWithoutAChoiceOrCancelledSendsNothing() {
        SetRotation(2, {{0, "worlds/a"}, {1, "worlds/b"}});
        ChangeMapDialog unchosen;
        unchosen.accept();
        ChangeMapDialog cancelled;
        ListOf(cancelled, "rotationList").topLevelItem(0)->setSelected(true);
        cancelled.reject();
        QVERIFY(engine->Commands().empty());
    }
};

QTEST_MAIN(MapsWidgetTest)
#include "MapsWidgetTest.moc"
