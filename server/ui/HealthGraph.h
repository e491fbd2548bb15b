// The server health graph: update rate and the 99th percentile tick time over the last ten
// minutes, players as a second line; a tooltip gives the figures at the pointer.
#pragma once

#include <QWidget>

#include "HealthGraphModel.h"

class HealthGraph : public QWidget {
    Q_OBJECT

public:
    static const QColor kRateColor, kTickColor, kPlayersColor;

    explicit HealthGraph(QWidget* parent = nullptr);

    void SetSamples(std::vector<HealthSample> samples);
    const HealthGraphModel& Model() const { return model_; }
    QRectF PlotArea() const;
    // Empty where no sample is drawn.
    QString ToolTipAt(const QPoint& position) const;

    QSize sizeHint() const override { return {640, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    HealthGraphModel model_;
};
