#include "RulesPropPage.h"

#include "MapRotationDialog.h"
#include "SettingRules.h"
#include "TypingLimits.h"

RulesPropPage::RulesPropPage(ServerCore& core, QWidget* parent) : SettingsPage(core, parent) {
    ui.setupUi(this);
    for (QLineEdit* edit : {ui.timeLimitEdit, ui.roundsEdit, ui.flipRoundEdit}) {
        MakeDigitsOnly(edit);
        connect(edit, &QLineEdit::textChanged, this, &RulesPropPage::OnRuleChanged);
    }
    for (QCheckBox* check : {ui.teamFlipCheck, ui.lanOnlyCheck})
        connect(check, &QCheckBox::clicked, this, &RulesPropPage::OnRuleChanged);
    connect(ui.maxPlayersSlider, &QSlider::valueChanged, this, &RulesPropPage::OnSliderMoved);
    connect(ui.mapRotationButton, &QPushButton::clicked, this, &RulesPropPage::OpenMapRotation);
}

void RulesPropPage::InitialisePage() {
    const SettingsValues& v = core.SettingValues();
    playerCount = v.maxplayers;
    ui.maxPlayersSlider->setValue(playerCount);
    ui.maxPlayersLabel->setNum(playerCount);
    ui.timeLimitEdit->setText(QString::number(v.timelimit));
    ui.roundsEdit->setText(QString::number(v.numrounds));
    ui.teamFlipCheck->setChecked(v.teamflip != 0);
    ui.flipRoundEdit->setText(QString::number(v.flipround));
    ui.lanOnlyCheck->setChecked(v.lan != 0);
}

void RulesPropPage::OnSliderMoved(int position) {
    if (IsWritingControls()) return;
    playerCount = position;
    {
        WritingControls writing(*this);
        ui.maxPlayersLabel->setNum(playerCount);
    }
    SetModified(true);
}

void RulesPropPage::OnRuleChanged() {
    if (IsWritingControls()) return;
    ApplyPage();
    SetModified(true);
}

void RulesPropPage::OpenMapRotation() {
    // The editor sends the rotation itself when it closes with OK, so its result does not matter.
    MapRotationDialog editor(core, window());
    editor.exec();
    SetModified(true);
}

bool RulesPropPage::ApplyPage() {
    Send(Setting::MaxPlayers, playerCount);
    Send(Setting::TeamFlip, ui.teamFlipCheck->isChecked() ? 1 : 0);
    Send(Setting::FlipRound, SettingRules::AtoiText(ui.flipRoundEdit->text()));
    Send(Setting::NumRounds, SettingRules::AtoiText(ui.roundsEdit->text()));
    Send(Setting::TimeLimit, SettingRules::AtoiText(ui.timeLimitEdit->text()));
    Send(Setting::Lan, ui.lanOnlyCheck->isChecked() ? 1 : 0);
    return true;
}
