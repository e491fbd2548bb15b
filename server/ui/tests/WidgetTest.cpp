#include <QScrollBar>
#include <QtTest>

#include "ConsoleView.h"

class WidgetTest : public QObject {
    Q_OBJECT

private slots:
    void ConsoleViewTrimsTo63EntriesAfter251AndShowsLatin1() {
        ConsoleView view;
        for (int i = 0; i < 250; ++i) view.AppendConsoleText("line " + std::to_string(i));
        view.AppendConsoleText("caf\xe9 50% %s\n");
        QCOMPARE(view.document()->blockCount(), 64);
        QVERIFY(view.toPlainText().startsWith("line 188\n"));
        QVERIFY(view.toPlainText().endsWith(QStringLiteral("\ncaf\u00e9 50% %s\n")));
        QVERIFY(view.viewport()->updatesEnabled() && view.isReadOnly());
    }

    void ConsoleViewShowsEngineTextAndOneLineEndForCrLf() {
        ConsoleView view;
        view.AppendConsoleText("dos line\r\n");
        view.AppendConsoleText("J\xc3\xb6rg \xe9");  // well-formed UTF-8, then a Latin-1 byte
        QCOMPARE(view.toPlainText(), QStringLiteral("dos line\nJ\u00f6rg \u00e9\n"));
        QCOMPARE(view.document()->blockCount(), 3);
    }

    void ConsoleViewFollowsNewLinesOnlyFromTheBottom() {
        ConsoleView view;
        view.resize(300, 120);
        view.show();
        for (int i = 0; i < 100; ++i) view.AppendConsoleText("line " + std::to_string(i));
        QScrollBar* bar = view.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10);  // the operator reads back
        view.AppendConsoleText("news");
        for (int i = 0; i < 200; ++i) view.AppendConsoleText("more");  // a trim too
        QCOMPARE(bar->value(), 10);
        bar->setValue(bar->maximum());
        view.AppendConsoleText("latest");
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(WidgetTest)
#include "WidgetTest.moc"
