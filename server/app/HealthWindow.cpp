#include "HealthWindow.h"

namespace {
QString Swatch(const QColor& color, const char* label) {
    return QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2")
        .arg(color.name(), QString::fromLatin1(label));
}
}  // namespace

HealthWindow::HealthWindow(ServerCore& core, QWidget* parent) : QDialog(parent), core(core) {
    ui.setupUi(this);
    setModal(false);
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    ui.key->setText(
        Swatch(HealthGraph::kRateColor, "update rate") + QStringLiteral("&nbsp;&nbsp; ") +
        Swatch(HealthGraph::kTickColor, "tick time, 99th percentile") +
        QStringLiteral("&nbsp;&nbsp; ") + Swatch(HealthGraph::kPlayersColor, "players") +
        QStringLiteral("&nbsp;&nbsp; (last 10 minutes; point for a second's figures)"));
    connect(&core, &ServerCore::healthSampled, this, [this] {
        if (isVisible()) Refresh();
    });
    Refresh();
}

void HealthWindow::Refresh() {
    std::vector<HealthSample> samples = core.Health();
    ui.legend->setText(samples.empty() ? QStringLiteral("No samples yet: one comes every second.")
                                       : HealthGraphModel::LegendText(samples.back()));
    ui.graph->SetSamples(std::move(samples));
}

void HealthWindow::showEvent(QShowEvent* event) {
    Refresh();  // samples taken while it was hidden
    QDialog::showEvent(event);
}
