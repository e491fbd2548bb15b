// Game, Server Health: a window beside the main one, not over it, that follows the core's health
// samples live: the graph, a colour key and the newest sample's exact figures.
#pragma once

#include <QDialog>

#include "ServerCore.h"
#include "ui_HealthWindow.h"

class HealthWindow : public QDialog {
    Q_OBJECT

public:
    explicit HealthWindow(ServerCore& core, QWidget* parent = nullptr);

    HealthGraph& Graph() { return *ui.graph; }
    QString LegendText() const { return ui.legend->text(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();

    Ui::HealthWindow ui;
    ServerCore& core;
};
