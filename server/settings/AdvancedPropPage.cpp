#include "AdvancedPropPage.h"

#include "PageExchange.h"
#include "ServerVariableTable.h"
#include "SettingRules.h"
#include "TypingLimits.h"

AdvancedPropPage::AdvancedPropPage(ServerCore& core, QWidget* parent) : SettingsPage(core, parent) {
    ui.setupUi(this);
    for (QCheckBox* check :
         {ui.autoTeamBalanceCheck, ui.allowUploadsCheck, ui.logEventsCheck, ui.voipCheck})
        connect(check, &QCheckBox::clicked, this, &AdvancedPropPage::OnSwitchClicked);
    connect(ui.votingCheck, &QCheckBox::clicked, this, &AdvancedPropPage::OnVotingClicked);
    connect(ui.forceTeamBalanceCheck, &QCheckBox::clicked, this, &AdvancedPropPage::OnMarkOnly);
    for (QSlider* slider : {ui.kickVoteSlider, ui.mapVoteSlider})
        connect(slider, &QSlider::valueChanged, this, &AdvancedPropPage::OnSliderMoved);
    connect(ui.bandwidthCombo, &QComboBox::currentIndexChanged, this,
            &AdvancedPropPage::OnBandwidthSelected);
    MakeDigitsOnly(ui.customBandwidthEdit, FieldOf(Setting::CustomBandwidth).maxCharacters);
    MakeDigitsOnly(ui.kickAfkEdit);
    for (QLineEdit* edit : {ui.customBandwidthEdit, ui.kickAfkEdit})
        connect(edit, &QLineEdit::textChanged, this, &AdvancedPropPage::OnMarkOnly);
}

void AdvancedPropPage::InitialisePage() {
    const SettingsValues& v = core.SettingValues();
    ui.allowUploadsCheck->setChecked(v.allowuploads != 0);
    ui.logEventsCheck->setChecked(v.logevents != 0);
    ui.votingCheck->setChecked(v.voting != 0);
    ui.autoTeamBalanceCheck->setChecked(v.autoteambalance != 0);
    ui.voipCheck->setChecked(v.voip != 0);
    ui.kickAfkEdit->setText(QString::number(v.kickafktime));
    ui.forceTeamBalanceCheck->setChecked(v.forceteambalance != 0);

    ui.kickVoteSlider->setValue(SettingRules::PercentSliderPosition(v.playerkickvote));
    ui.mapVoteSlider->setValue(SettingRules::PercentSliderPosition(v.mapvote));
    ui.kickVoteLabel->setNum(ui.kickVoteSlider->value());
    ui.mapVoteLabel->setNum(ui.mapVoteSlider->value());
    ui.kickVoteSlider->setEnabled(v.voting != 0);
    ui.mapVoteSlider->setEnabled(v.voting != 0);

    ui.bandwidthCombo->setCurrentIndex(NormalizedBandwidthIndex(v.serverbandwidth));
    ShowBandwidth(ui.bandwidthCombo->currentIndex());
}

// The custom edit takes the stored custom value under CUSTOM, else shows the preset's figure;
// the stored custom value survives a look at the presets.
void AdvancedPropPage::ShowBandwidth(int index) {
    index = NormalizedBandwidthIndex(index);
    const bool custom = index == kCustomBandwidthIndex;
    ui.customBandwidthEdit->setEnabled(custom);
    ui.customBandwidthEdit->setText(QString::number(custom ? core.SettingValues().custombandwidth
                                                           : BandwidthPresetTable[index]));
}

void AdvancedPropPage::OnSliderMoved() {
    if (IsWritingControls()) return;
    {
        WritingControls writing(*this);
        ui.kickVoteLabel->setNum(ui.kickVoteSlider->value());
        ui.mapVoteLabel->setNum(ui.mapVoteSlider->value());
    }
    SetModified(true);
}

void AdvancedPropPage::OnVotingClicked() {
    if (IsWritingControls()) return;
    ui.kickVoteSlider->setEnabled(ui.votingCheck->isChecked());
    ui.mapVoteSlider->setEnabled(ui.votingCheck->isChecked());
    SetModified(true);
}

void AdvancedPropPage::OnSwitchClicked() {
    if (IsWritingControls()) return;
    ApplyPage();
    SetModified(true);
}

void AdvancedPropPage::OnBandwidthSelected(int index) {
    if (IsWritingControls()) return;
    {
        WritingControls writing(*this);
        ShowBandwidth(index);
    }
    ApplyPage();
    SetModified(true);
}

void AdvancedPropPage::OnMarkOnly() {
    if (!IsWritingControls()) SetModified(true);
}

bool AdvancedPropPage::ApplyPage() {
    PageExchange exchange(this);
    // The custom figure is read the atoi way (an empty edit is 0), and that number must fit.
    const int32_t customBandwidth = SettingRules::AtoiText(ui.customBandwidthEdit->text());
    if (!exchange.Check(ui.customBandwidthEdit, Setting::CustomBandwidth,
                        QString::number(customBandwidth)) ||
        !exchange.Check(ui.kickAfkEdit, Setting::KickAfkTime))
        return false;
    const int32_t kickAfkTime = SettingRules::AtoiText(ui.kickAfkEdit->text());
    // The list cannot be typed into, so some entry is always selected.
    const int bandwidth = NormalizedBandwidthIndex(ui.bandwidthCombo->currentIndex());

    Send(Setting::AllowUploads, ui.allowUploadsCheck->isChecked() ? 1 : 0);
    Send(Setting::LogEvents, ui.logEventsCheck->isChecked() ? 1 : 0);
    Send(Setting::Voting, ui.votingCheck->isChecked() ? 1 : 0);
    Send(Setting::PlayerKickVote, SettingRules::PercentSliderValue(ui.kickVoteSlider->value()));
    Send(Setting::MapVote, SettingRules::PercentSliderValue(ui.mapVoteSlider->value()));
    Send(Setting::AutoTeamBalance, ui.autoTeamBalanceCheck->isChecked() ? 1 : 0);
    Send(Setting::Voip, ui.voipCheck->isChecked() ? 1 : 0);
    Send(Setting::KickAfkTime, kickAfkTime);
    Send(Setting::ForceTeamBalance, ui.forceTeamBalanceCheck->isChecked() ? 1 : 0);
    Send(Setting::ServerBandwidth, bandwidth);
    if (bandwidth == kCustomBandwidthIndex) Send(Setting::CustomBandwidth, customBandwidth);
    core.ApplySendBandwidth(Requester::Window());
    return true;
}
