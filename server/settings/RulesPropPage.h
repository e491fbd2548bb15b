// The "Rules" page: round length, map switching, the player limit, team flip and LAN-only. Its
// edits and check boxes take effect on the running server as they change.
#pragma once

#include <cstdint>

#include "SettingsPage.h"
#include "ui_RulesPropPage.h"

class RulesPropPage : public SettingsPage {
    Q_OBJECT

public:
    explicit RulesPropPage(ServerCore& core, QWidget* parent = nullptr);

    bool ApplyPage() override;

protected:
    void InitialisePage() override;

private slots:
    // The one place that opens the map rotation editor.
    void OpenMapRotation();

private:
    void OnSliderMoved(int position);
    void OnRuleChanged();

    Ui::RulesPropPage ui;
    // The player limit as stored, which may lie beyond the slider's range: it is what the label
    // shows and what is applied until the slider moves.
    int32_t playerCount = 0;
};
