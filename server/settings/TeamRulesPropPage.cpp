#include "TeamRulesPropPage.h"

#include "PageExchange.h"
#include "SettingRules.h"
#include "TypingLimits.h"

TeamRulesPropPage::TeamRulesPropPage(ServerCore& core, QWidget* parent)
    : SettingsPage(core, parent) {
    ui.setupUi(this);
    for (QSlider* slider : {ui.ffTeamSlider, ui.ffAlliesSlider, ui.mirrorPercentSlider})
        connect(slider, &QSlider::valueChanged, this, &TeamRulesPropPage::OnSliderMoved);
    for (QCheckBox* check : {ui.mirrorDamageCheck, ui.tkPunishCheck})
        connect(check, &QCheckBox::clicked, this, &TeamRulesPropPage::OnSwitchClicked);
    MakeDigitsOnly(ui.teamKillsEdit);
    MakeDigitsOnly(ui.civilianKillsEdit);
    MakeDigitsOnly(ui.cashPenaltyEdit, FieldOf(Setting::MirrorCash).maxCharacters);
    for (QLineEdit* edit : {ui.teamKillsEdit, ui.civilianKillsEdit, ui.cashPenaltyEdit}) {
        connect(edit, &QLineEdit::textChanged, this, &TeamRulesPropPage::OnTextChanged);
    }
}

void TeamRulesPropPage::InitialisePage() {
    const SettingsValues& v = core.SettingValues();
    ui.ffTeamSlider->setValue(SettingRules::PercentSliderPosition(v.ffteam));
    ui.ffAlliesSlider->setValue(SettingRules::PercentSliderPosition(v.ffallies));
    ui.mirrorPercentSlider->setValue(SettingRules::PercentSliderPosition(v.mirrordamagepercent));
    // Each label shows where its slider came to rest, inside the slider's range.
    ui.ffTeamLabel->setNum(ui.ffTeamSlider->value());
    ui.ffAlliesLabel->setNum(ui.ffAlliesSlider->value());
    ui.mirrorPercentLabel->setNum(ui.mirrorPercentSlider->value());
    ui.mirrorDamageCheck->setChecked(v.mirrordamage != 0);
    ui.tkPunishCheck->setChecked(v.tkpunish != 0);
    ui.teamKillsEdit->setText(QString::number(v.numtkstokick));
    ui.civilianKillsEdit->setText(QString::number(v.numcivstokick));
    ui.cashPenaltyEdit->setText(QString::number(v.mirrorcash));
    EnableDependentControls();
}

void TeamRulesPropPage::EnableDependentControls() {
    ui.mirrorPercentSlider->setEnabled(ui.mirrorDamageCheck->isChecked());
    ui.teamKillsEdit->setEnabled(ui.tkPunishCheck->isChecked());
    ui.civilianKillsEdit->setEnabled(ui.tkPunishCheck->isChecked());
}

void TeamRulesPropPage::OnSliderMoved() {
    if (IsWritingControls()) return;
    {
        WritingControls writing(*this);
        ui.ffTeamLabel->setNum(ui.ffTeamSlider->value());
        ui.ffAlliesLabel->setNum(ui.ffAlliesSlider->value());
        ui.mirrorPercentLabel->setNum(ui.mirrorPercentSlider->value());
    }
    SetModified(true);
}

void TeamRulesPropPage::OnSwitchClicked() {
    if (IsWritingControls()) return;
    EnableDependentControls();
    SetModified(true);
}

// A cash penalty leaves the Mirror Damage check box alone: what is sent is what the box shows.
void TeamRulesPropPage::OnTextChanged() {
    if (!IsWritingControls()) SetModified(true);
}

bool TeamRulesPropPage::ApplyPage() {
    PageExchange exchange(this);
    if (!exchange.Check(ui.cashPenaltyEdit, Setting::MirrorCash)) return false;
    const int32_t cashPenalty = SettingRules::AtoiText(ui.cashPenaltyEdit->text());

    Send(Setting::MirrorDamage, ui.mirrorDamageCheck->isChecked() ? 1 : 0);
    Send(Setting::MirrorDamagePercent,
         SettingRules::PercentSliderValue(ui.mirrorPercentSlider->value()));
    Send(Setting::TkPunish, ui.tkPunishCheck->isChecked() ? 1 : 0);
    Send(Setting::FfTeam, SettingRules::PercentSliderValue(ui.ffTeamSlider->value()));
    Send(Setting::FfAllies, SettingRules::PercentSliderValue(ui.ffAlliesSlider->value()));
    Send(Setting::NumTksToKick, SettingRules::AtoiText(ui.teamKillsEdit->text()));
    Send(Setting::NumCivsToKick, SettingRules::AtoiText(ui.civilianKillsEdit->text()));
    Send(Setting::MirrorCash, cashPenalty);
    return true;
}
