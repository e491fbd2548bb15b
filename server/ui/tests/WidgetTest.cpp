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
};

QTEST_MAIN(WidgetTest)
#include "WidgetTest.moc"
