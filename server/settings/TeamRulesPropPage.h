// The "Team Rules" page: friendly fire, mirror damage and its cash penalty, and team-kill
// punishment.
#pragma once

#include "SettingsPage.h"
#include "ui_TeamRulesPropPage.h"

class TeamRulesPropPage : public SettingsPage {
    Q_OBJECT

public:
    explicit TeamRulesPropPage(ServerCore& core, QWidget* parent = nullptr);

    bool ApplyPage() override;

protected:
    void InitialisePage() override;

private:
    void OnSliderMoved();
    void OnSwitchClicked();
    void OnTextChanged();
    void EnableDependentControls();

    Ui::TeamRulesPropPage ui;
};
