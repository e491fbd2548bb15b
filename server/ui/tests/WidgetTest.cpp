#include <QScrollBar>
#include <QtTest>

#include "ConsoleView.h"
#include "HealthGraph.h"

namespace {

HealthSample RateSample(double rate) {
    HealthSample s;
    s.updateRate = rate;
    s.players = 4;
    return s;
}

// Whether a pixel within two of `at` has about that colour (the lines are antialiased).
bool DrawnNear(const QImage& image, const QPointF& at, const QColor& color) {
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint p(qRound(at.x()) + dx, qRound(at.y()) + dy);
            if (!image.rect().contains(p)) continue;
            const QColor c = image.pixelColor(p);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                    std::abs(c.blue() - color.blue()) <
                60)
                return true;
        }
    return false;
}

}  // namespace

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

    void HealthGraphDrawsTheNewestTenMinutesAcrossTheRingsWrap() {
        HealthGraph graph;
        graph.resize(656, 150);
        HealthHistory history;
        for (int i = 0; i < 1000; ++i) history.Add(RateSample(i < 400 ? 10 : 30));
        graph.SetSamples(history.Samples());
        const QRectF plot = graph.PlotArea();
        HealthGraphLayout layout = graph.Model().Layout(plot);
        QImage image = graph.grab().toImage();
        const double y30 = layout.rate.front().y(), y10 = plot.bottom() - plot.height() / 4;
        for (double x : {plot.left() + 3, plot.center().x(), plot.right() - 3}) {
            QVERIFY(DrawnNear(image, {x, y30}, HealthGraph::kRateColor));
            QVERIFY(!DrawnNear(image, {x, y10}, HealthGraph::kRateColor));  // dropped samples
        }
        QVERIFY(DrawnNear(image, layout.players[300], HealthGraph::kPlayersColor));

        // 300 more samples: the oldest half of the graph keeps 30, the newest half shows 10.
        for (int i = 0; i < 300; ++i) history.Add(RateSample(10));
        graph.SetSamples(history.Samples());
        layout = graph.Model().Layout(plot);
        image = graph.grab().toImage();
        QCOMPARE(layout.rate[100].y(), y30);
        QVERIFY(DrawnNear(image, layout.rate[100], HealthGraph::kRateColor));
        QVERIFY(DrawnNear(image, layout.rate[500], HealthGraph::kRateColor));
        QCOMPARE(layout.rate[500].y(), y10);
        QVERIFY(!DrawnNear(image, {layout.rate[500].x(), y30}, HealthGraph::kRateColor));

        const QPoint newest(qRound(layout.rate.back().x()), qRound(plot.center().y()));
        QVERIFY(graph.ToolTipAt(newest).contains("Update rate 10.0/s"));
        QVERIFY(graph.ToolTipAt({2, newest.y()}).isEmpty());  // over the scale, left of the plot
    }
};

QTEST_MAIN(WidgetTest)
#include "WidgetTest.moc"
