// The "Server Settings" sheet: four pages of settings, each sent to the engine when the sheet
// leaves it. A page that refuses its values keeps the sheet on it.
#pragma once

#include <QDialog>
#include <array>

#include "AdvancedPropPage.h"
#include "RulesPropPage.h"
#include "ServerPropPage.h"
#include "TeamRulesPropPage.h"
#include "ui_SettingsPropSheet.h"

class SettingsPropSheet : public QDialog {
    Q_OBJECT

public:
    explicit SettingsPropSheet(ServerCore& core, QWidget* parent = nullptr);
    ~SettingsPropSheet() override;

    // OK: the current page must apply itself before the sheet closes.
    void accept() override;
    // Applies the current page; every page's modified mark is cleared either way.
    void Apply();

    SettingsPage& CurrentPage() { return *pages[static_cast<size_t>(activeIndex)]; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnTabChanged(int index);
    void UpdateApplyButton();
    void SelectTab(int index);

    Ui::SettingsPropSheet ui;
    ServerPropPage serverPage;
    RulesPropPage rulesPage;
    TeamRulesPropPage teamRulesPage;
    AdvancedPropPage advancedPage;
    std::array<SettingsPage*, 4> pages;
    int activeIndex = 0;
};
