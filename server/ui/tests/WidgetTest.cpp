#include <QApplication>
#include <QHeaderView>
#include <QTextBlock>
#include <QTreeWidget>
#include <QtTest>

#include <cstring>
#include <string>

#include "ConsoleView.h"
#include "PlayerListRefresher.h"
#include "TreePlayerTable.h"

class WidgetTest : public QObject {
    Q_OBJECT

private slots:
    void ConsoleViewTrimsTo63EntriesAfter251() {
        ConsoleView view;
        for (int i = 0; i < 250; ++i) view.AppendConsoleText("line " + std::to_string(i));
        QCOMPARE(view.document()->blockCount(), 251);
        view.AppendConsoleText("new");
        QCOMPARE(view.document()->blockCount(), 64);
        QCOMPARE(view.document()->firstBlock().text(), QStringLiteral("line 188"));
        QCOMPARE(view.document()->lastBlock().previous().text(), QStringLiteral("new"));
        QVERIFY(view.viewport()->updatesEnabled());
    }

    void ConsoleViewShowsTextLiterally() {
        ConsoleView view;
        QVERIFY(view.isReadOnly());
        QCOMPARE(view.lineWrapMode(), QPlainTextEdit::NoWrap);
        view.AppendConsoleText("engine line\n");
        view.AppendConsoleText("");
        view.AppendConsoleText("50% %s done");
        view.AppendConsoleText("caf\xe9");
        QCOMPARE(view.toPlainText(), QStringLiteral("engine line\n50% %s done\ncaf") + QChar(0xe9) +
                                         QStringLiteral("\n"));
        QVERIFY(!view.document()->isUndoAvailable());
    }

    void PlayerListColumnsAndWidths() {
        QTreeWidget tree;
        tree.resize(500, 200);
        TreePlayerTable::SetUpColumns(tree);
        QStringList headers;
        for (int i = 0; i < tree.columnCount(); ++i) headers << tree.headerItem()->text(i);
        QCOMPARE(headers, QStringList({"ID", "Name", "Team", "Specialty", "Ping", "Time"}));
        const int fifth = static_cast<int>(tree.frameGeometry().width() * 0.2);
        QCOMPARE(tree.columnWidth(NameColumn), fifth);
        QCOMPARE(tree.columnWidth(TeamColumn), fifth);
        QCOMPARE(tree.columnWidth(SpecialtyColumn), fifth);
        QVERIFY(tree.columnWidth(IdColumn) > 0 && tree.columnWidth(IdColumn) < fifth);
        QVERIFY(tree.header()->stretchLastSection());
        QCOMPARE(tree.selectionMode(), QAbstractItemView::SingleSelection);
    }

    void RefreshOnTheTreeWritesCellsAndItemData() {
        QTreeWidget tree;
        TreePlayerTable::SetUpColumns(tree);
        TreePlayerTable table(tree);
        PlayerListRefresher refresher(
            table, [](uint32_t id) { return id == 1070 ? std::string("Red") : std::string(); },
            [](int32_t) { return 0.0425f; }, [] { return std::time_t{100}; });
        PlayerRecord record;
        record.clientId = 65541;
        std::strcpy(record.name, "N\xe9o");
        record.teamLabelId = 1070;
        record.joinTime = 39;
        refresher.Refresh({record, record}, true);
        QCOMPARE(tree.topLevelItemCount(), 2);
        QTreeWidgetItem* item = tree.topLevelItem(1);
        QCOMPARE(item->data(IdColumn, Qt::UserRole).toInt(), 65541);
        QCOMPARE(item->text(IdColumn), QStringLiteral("65541"));
        QCOMPARE(item->text(NameColumn), QStringLiteral("N") + QChar(0xe9) + QStringLiteral("o"));
        QCOMPARE(item->text(TeamColumn), QStringLiteral("Red"));
        QCOMPARE(item->text(PingColumn), QStringLiteral("42"));
        QCOMPARE(item->text(TimeColumn), QStringLiteral("01m:01s"));
        QVERIFY(table.CellTextIs(1, NameColumn, "N\xe9o"));
        QVERIFY(!table.CellTextIs(1, NameColumn, "n\xe9o"));

        QVERIFY(!table.FirstSelectedClientId());
        tree.topLevelItem(1)->setSelected(true);
        QCOMPARE(table.FirstSelectedClientId().value_or(-1), 65541);

        refresher.Refresh({}, true);
        QCOMPARE(tree.topLevelItemCount(), 0);
        QVERIFY(!table.RemoveLastRow());
    }
};

QTEST_MAIN(WidgetTest)
#include "WidgetTest.moc"
