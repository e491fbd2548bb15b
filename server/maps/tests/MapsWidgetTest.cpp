#include <QPushButton>
#include <QtTest>

#include "ChangeMapDialog.h"
#include "FakeServer.h"
#include "MapRotationDialog.h"
#include "ReorderListView.h"

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

    std::unique_ptr<FakeServer> server;

    // Starts the server on a rotation of numMaps entries from its configuration file; an empty
    // world leaves its entry out.
    void StartWith(int numMaps, const std::vector<std::string>& worlds) {
        server->engine.configLines = {"nummaps " + std::to_string(numMaps)};
        for (std::size_t i = 0; i < worlds.size(); ++i)
            if (!worlds[i].empty())
                server->engine.configLines.push_back("map" + std::to_string(i) + " " + worlds[i]);
        QVERIFY(server->Start());
        server->TakeCommands();
    }
    Lines Commands() { return server->TakeCommands(); }

private slots:
    void init() { server = std::make_unique<FakeServer>(); }
    void cleanup() { server.reset(); }

    void RotationOkWritesTheKeptEntriesAndCancelNothing() {
        StartWith(0, {"worlds/a"});
        MapRotationDialog empty(server->core);
        empty.accept();
        QCOMPARE(Commands(), Lines{"nummaps 0"});

        server->core.SetRotation({"worlds/A", "worlds/b", "worlds/c", "worlds/d", "worlds/e"},
                                 Requester::Window());
        Commands();
        MapRotationDialog dialog(server->core);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        DoubleClickRow(ListOf(dialog), 4);
        DoubleClickRow(ListOf(dialog), 3);
        MapRotationDialog cancelled(server->core);
        ListOf(cancelled).clear();
        cancelled.reject();
        QVERIFY(Commands().empty());
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(Commands(),
                 (Lines{"map0 worlds/a", "map1 worlds/b", "map2 worlds/c", "nummaps 3"}));
    }

    void WorldNamesShowAsTextGoBackByteForByteAndChangeMapSendsTheRowsPlace() {
        // UTF-8 bytes show as their characters, any other byte as its Latin-1 character; so
        // "\xC3\xA9" and "\xE9" both show as "é", and each row still writes its own bytes.
        server->engine.files = {{1, "worlds/Z\xC3\xBCrich.dat"}, {1, "worlds/M\xE9xico.dat"}};
        StartWith(3, {"worlds/\xC3\xA9t\xC3\xA9", "", "worlds/\xE9t\xE9"});
        ChangeMapDialog change(server->core);
        change.accept();  // with nothing chosen
        change.show();
        QVERIFY(QTest::qWaitForWindowExposed(&change));
        QCOMPARE(Rows(ListOf(change)), QStringList({"worlds/été", "worlds/été"}));
        DoubleClickRow(ListOf(change), 1);  // only selects
        QVERIFY(Commands().empty() && change.isVisible());
        QTest::mouseClick(change.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(Commands(), Lines{"changemap 2"});  // the row's own place in the rotation

        MapRotationDialog dialog(server->core);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget& worlds = ListOf(dialog, "worldList");
        QCOMPARE(Rows(worlds), QStringList({"worlds/méxico", "worlds/zürich"}));
        QCOMPARE(Rows(ListOf(dialog)), QStringList({"worlds/été", "worlds/été"}));
        DoubleClickRow(worlds, 0);
        DoubleClickRow(worlds, 1);
        Commands();
        dialog.accept();
        QCOMPARE(Commands(),
                 (Lines{"map0 worlds/\xC3\xA9t\xC3\xA9", "map1 worlds/\xE9t\xE9",
                        "map2 worlds/m\xE9xico", "map3 worlds/z\xC3\xBCrich", "nummaps 4"}));
    }

    void DragMovesTheRowToTheDropRowsFormerPlace() {
        const QStringList abcd{"a", "b", "c", "d"};
        ReorderListView list;
        Fill(list, abcd);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        // Downward it lands just after the drop row.
        Drag(list, Qt::LeftButton, 0, {1, 2});
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

        // The image follows the pointer; a list hidden mid-drag (its dialog closed by key) drops
        // the drag and its image.
        QTest::mousePress(list.viewport(), Qt::RightButton, {}, Centre(list, 3));
        QTest::mouseMove(list.viewport(), Centre(list, 1));
        QVERIFY(list.IsDragging() && list.DragImage() && list.DragImage()->isVisible());
        list.hide();
        QVERIFY(!list.IsDragging() && !list.DragImage());
        QCOMPARE(Rows(list), abcd);
    }
};

QTEST_MAIN(MapsWidgetTest)
#include "MapsWidgetTest.moc"
