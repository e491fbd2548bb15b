#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>
#include <map>

#include "ConsoleFindBar.h"
#include "ConsoleView.h"
#include "HealthGraph.h"
#include "PlayerListRefresher.h"
#include "TreePlayerTable.h"

namespace {

// Whether a pixel within two of `at` has about that colour (the lines are antialiased).
bool DrawnNear(const QImage& image, const QPointF& at, const QColor& color) {
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint p(qRound(at.x()) + dx, qRound(at.y()) + dy);
            if (!image.rect().contains(p)) continue;
            const QColor c = image.pixelColor(p);
            const int off = std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                            std::abs(c.blue() - color.blue());
            if (off < 60) return true;
        }
    return false;
}

}  // namespace

class WidgetTest : public QObject {
    Q_OBJECT

private slots:
    void ConsoleViewShowsEngineTextSafelyAndOneLineEndForCrLf() {
        ConsoleView view;
        view.AppendConsoleText("dos line\r\n");
        view.AppendConsoleText("J\xc3\xb6rg \xe9");  // well-formed UTF-8, then a Latin-1 byte
        // A Host header's line separator and a right-to-left override, as the audit says them.
        view.AppendConsoleText(
            "Host: a\xe2\x80\xa8"
            "forged \xe2\x80\xae"
            "desrever\r\n");
        QCOMPARE(view.toPlainText(), QStringLiteral("dos line\nJ\u00f6rg \u00e9\n"
                                                    "Host: a\\u2028forged \\u202edesrever\n"));
        QCOMPARE(view.document()->blockCount(), 4);
    }

    // Past 250 lines, or at the text limit, the oldest three quarters go, out of sight, before the
    // new entry is added.
    void ConsoleViewTrimsAtItsLineAndTextLimits() {
        ConsoleView view;
        bool drawnWhileDeleting = false;
        connect(view.document(), &QTextDocument::contentsChange, this, [&](int, int removed, int) {
            drawnWhileDeleting |= removed > 0 && view.viewport()->updatesEnabled();
        });
        for (int i = 0; i < 250; ++i) view.AppendConsoleText("line " + std::to_string(i));
        QCOMPARE(view.document()->blockCount(), 251);
        view.AppendConsoleText("new");  // 188 entries go, 62 stay, the new one makes 63
        QCOMPARE(view.document()->blockCount(), 64);
        QVERIFY(view.toPlainText().startsWith("line 188\n"));
        QVERIFY(!drawnWhileDeleting && view.viewport()->updatesEnabled());

        ConsoleView full;  // 65 entries of 500 characters and one of 267 reach the limit exactly
        for (int i = 0; i < 65; ++i) full.AppendConsoleText(std::string(499, 'w'));
        full.AppendConsoleText(std::string(266, 'w'));
        full.AppendConsoleText("");
        QCOMPARE(full.document()->blockCount(), 67 - 50);
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

    void FindBarWrapsMarksEveryMatchAndSaysNoMatchWhileTheConsoleTrims() {
        ConsoleView view;
        ConsoleFindBar bar;
        bar.Attach(view);
        for (const char* line : {"Alpha joined", "beta", "ALPHA left", "gamma alpha"})
            view.AppendConsoleText(line);
        bar.Open();
        auto* field = bar.findChild<QLineEdit*>("findField");
        QTest::keyClicks(field, "alpha");
        QCOMPARE(bar.CurrentMatch(), std::optional(std::pair(0, 5)));
        QCOMPARE(bar.Status(), QString("1 of 3"));
        QCOMPARE(bar.MarkedCount(), 3 + 1);  // every match, and the current one over it
        bar.FindNext();
        bar.FindNext();
        QCOMPARE(bar.Status(), QString("3 of 3"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(bar.Status(), QString("1 of 3, wrapped"));
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(bar.CurrentMatch(), std::optional(std::pair(35, 5)));
        QCOMPARE(bar.Status(), QString("3 of 3, wrapped"));

        // The console trims as ever; the marks follow what is left, the trimmed match goes.
        for (int i = 0; i < 246; ++i) view.AppendConsoleText("line " + std::to_string(i));
        view.AppendConsoleText("alpha again");
        QCOMPARE(view.document()->blockCount(), 64);
        QVERIFY(view.isReadOnly());
        QCoreApplication::processEvents();
        QCOMPARE(bar.CurrentMatch(), std::nullopt);
        QCOMPARE(bar.Status(), QString("1 match"));
        QCOMPARE(bar.MarkedCount(), 1);

        QTest::keyClicks(field, "zz");
        QCOMPARE(bar.Status(), QString("No match"));
        QCOMPARE(bar.MarkedCount(), 0);
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!bar.isVisible() && !bar.IsOpen());
    }

    void SortingByPingKeepsTheSelectedPlayerAndWritesNoIdentityCellOnAQuietPass() {
        QTreeView view;
        view.resize(600, 200);
        TreePlayerTable table(view);
        table.SetUpColumns();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        std::map<int32_t, float> pings{{1, 0.030f}, {2, 0.010f}, {3, 0.020f}};
        PlayerListRefresher refresher(
            table, [](uint32_t) { return std::string(); },
            [&pings](int32_t id) { return pings[id]; }, [] { return std::time_t(100); });
        const PlayerRecord a{1, 0, 0, "a", 0, 0, 0, 0}, b{2, 0, 0, "b", 0, 0, 0, 0},
            c{3, 0, 0, "c", 0, 0, 0, 0};
        const auto pass = [&](std::vector<PlayerRecord> players, bool changed) {
            refresher.Refresh(players, changed);
            table.KeepSorted();
        };
        const auto shown = [&view] {
            QString names;
            for (int row = 0; row < view.model()->rowCount(); ++row)
                names += view.model()->index(row, NameColumn).data().toString();
            return names;
        };
        const auto clickHeader = [&view](int column) {
            QHeaderView* header = view.header();
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
        };
        pass({a, b, c}, true);
        QCOMPARE(shown(), QString("abc"));
        clickHeader(PingColumn);
        QCOMPARE(shown(), QString("bca"));
        QCOMPARE(view.header()->sortIndicatorSection(), int(PingColumn));
        view.setCurrentIndex(view.model()->index(0, 0));  // b
        QCOMPARE(table.FirstSelectedClientId(), std::optional<int32_t>(2));

        QList<int> written;
        connect(&table.Model(), &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex& from, const QModelIndex& to) {
                    for (int column = from.column(); column <= to.column(); ++column)
                        written << column;
                });
        pings[2] = 0.100f;  // 9 then 10: numbers, not texts
        pings[1] = 0.009f;
        pass({a, b, c}, false);
        QCOMPARE(shown(), QString("acb"));
        QCOMPARE(written, (QList<int>{PingColumn, PingColumn}));
        QCOMPARE(table.FirstSelectedClientId(), std::optional<int32_t>(2));
        QCOMPARE(view.selectionModel()->selectedRows().value(0).row(), 2);

        // The roster changes under a sorted list: the selection stays with b, or goes with it.
        pass({c, b, a}, true);
        QCOMPARE(shown(), QString("acb"));
        QCOMPARE(table.FirstSelectedClientId(), std::optional<int32_t>(2));
        clickHeader(PingColumn);
        clickHeader(PingColumn);  // back to the roster's order
        QCOMPARE(shown(), QString("cba"));
        QCOMPARE(view.header()->sortIndicatorSection(), -1);
        pass({c, a}, true);
        QCOMPARE(table.FirstSelectedClientId(), std::nullopt);
    }

    // Each line is drawn where the model lays it out, and only there; the pointer over the plot
    // finds the sample drawn under it.
    void HealthGraphDrawsEachLineWhereTheModelLaysItOut() {
        HealthGraph graph;
        graph.resize(656, 150);
        HealthSample sample;
        sample.updateRate = 30;
        sample.players = 4;
        std::vector<HealthSample> samples(600, sample);
        for (std::size_t i = 300; i < samples.size(); ++i) samples[i].updateRate = 10;
        graph.SetSamples(samples);
        const QRectF plot = graph.PlotArea();
        const HealthGraphLayout layout = graph.Model().Layout(plot);
        const QImage image = graph.grab().toImage();
        for (std::size_t i : {100, 500}) {
            QVERIFY(DrawnNear(image, layout.rate[i], HealthGraph::kRateColor));
            const QPointF elsewhere(layout.rate[i].x(), layout.rate[600 - i].y());
            QVERIFY(!DrawnNear(image, elsewhere, HealthGraph::kRateColor));
        }
        QVERIFY(DrawnNear(image, layout.players[300], HealthGraph::kPlayersColor));

        const QPoint newest(qRound(layout.rate.back().x()), qRound(plot.center().y()));
        QVERIFY(graph.ToolTipAt(newest).contains("Update rate 10.0/s"));
        QVERIFY(graph.ToolTipAt({2, newest.y()}).isEmpty());  // over the scale, left of the plot
    }
};

QTEST_MAIN(WidgetTest)
#include "WidgetTest.moc"
