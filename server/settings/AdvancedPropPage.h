// The "Advanced" page: team balancing, badge uploads, event logging, voice, the idle kick,
// voting and the send bandwidth. Its switches and the bandwidth list take effect on the running
// server as they change.
#pragma once

#include "SettingsPage.h"
#include "ui_AdvancedPropPage.h"

class AdvancedPropPage : public SettingsPage {
    Q_OBJECT

public:
    explicit AdvancedPropPage(ServerCore& core, QWidget* parent = nullptr);

    bool ApplyPage() override;

protected:
    void InitialisePage() override;

private:
    void ShowBandwidth(int index);
    void OnSliderMoved();
    void OnVotingClicked();
    void OnSwitchClicked();
    void OnBandwidthSelected(int index);
    void OnMarkOnly();

    Ui::AdvancedPropPage ui;
};
