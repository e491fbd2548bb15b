#include "HealthGraph.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

const QColor HealthGraph::kRateColor{0x1f, 0x77, 0xb4};
const QColor HealthGraph::kTickColor{0xd6, 0x27, 0x28};
const QColor HealthGraph::kPlayersColor{0x2c, 0xa0, 0x2c};

namespace {
constexpr int kMargin = 6;
constexpr int kScaleWidth = 56;  // the scale figures at the left
}  // namespace

HealthGraph::HealthGraph(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HealthGraph::SetSamples(std::vector<HealthSample> samples) {
    model_.SetSamples(std::move(samples));
    update();
}

QRectF HealthGraph::PlotArea() const {
    return QRectF(rect()).adjusted(kScaleWidth, kMargin, -kMargin, -kMargin);
}

QString HealthGraph::ToolTipAt(const QPoint& position) const {
    const QRectF plot = PlotArea();
    if (position.y() < plot.top() || position.y() > plot.bottom()) return {};
    const std::optional<std::size_t> index = model_.SampleAt(plot, position.x());
    return index ? HealthGraphModel::ToolTipText(model_.Samples()[*index]) : QString();
}

bool HealthGraph::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void HealthGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRectF plot = PlotArea();
    const HealthGraphLayout layout = model_.Layout(plot);

    painter.setPen(QPen(palette().mid().color(), 0, Qt::DotLine));
    for (int quarter = 0; quarter <= 4; ++quarter) {
        const double y = plot.top() + plot.height() * quarter / 4;
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    // One scale figure per line at the top edge, in that line's colour.
    const std::pair<QColor, QString> tops[] = {
        {kRateColor, QStringLiteral("%1/s").arg(layout.rateTop)},
        {kTickColor, QStringLiteral("%1 ms").arg(layout.tickTopMs)},
        {kPlayersColor, QStringLiteral("%1 pl.").arg(layout.playersTop)},
    };
    const int lineHeight = fontMetrics().height();
    for (int i = 0; i < 3; ++i) {
        painter.setPen(tops[i].first);
        painter.drawText(QRectF(0, plot.top() + i * lineHeight, kScaleWidth - 4, lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter, tops[i].second);
    }

    painter.setRenderHint(QPainter::Antialiasing);
    const std::pair<QColor, const std::vector<QPointF>*> lines[] = {
        {kPlayersColor, &layout.players},
        {kTickColor, &layout.tickP99},
        {kRateColor, &layout.rate},
    };
    for (const auto& [color, points] : lines) {
        painter.setPen(QPen(color, 1.5));
        if (points->size() == 1)
            painter.drawPoint(points->front());
        else if (!points->empty())
            painter.drawPolyline(points->data(), static_cast<int>(points->size()));
    }
}
