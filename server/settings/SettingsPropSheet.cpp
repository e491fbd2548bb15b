#include "SettingsPropSheet.h"

#include <QPushButton>
#include <QSignalBlocker>

SettingsPropSheet::SettingsPropSheet(ServerCore& core, QWidget* parent)
    : QDialog(parent),
      serverPage(core),
      rulesPage(core),
      teamRulesPage(core),
      advancedPage(core),
      pages{&serverPage, &rulesPage, &teamRulesPage, &advancedPage} {
    ui.setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    for (SettingsPage* page : pages) {
        ui.pageTabs->addTab(page, page->windowTitle());
        connect(page, &SettingsPage::ModifiedChanged, this, &SettingsPropSheet::UpdateApplyButton);
    }
    ui.pageTabs->setCurrentIndex(activeIndex);
    connect(ui.pageTabs, &QTabWidget::currentChanged, this, &SettingsPropSheet::OnTabChanged);
    connect(ui.buttons, &QDialogButtonBox::accepted, this, &SettingsPropSheet::accept);
    connect(ui.buttons, &QDialogButtonBox::rejected, this, &SettingsPropSheet::reject);
    connect(ui.buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &SettingsPropSheet::Apply);
    UpdateApplyButton();
}

SettingsPropSheet::~SettingsPropSheet() {
    // The pages go before the tab widget, and taking each out moves the current tab: none of
    // that is a page change.
    ui.pageTabs->disconnect(this);
    for (SettingsPage* page : pages) page->disconnect(this);
}

void SettingsPropSheet::showEvent(QShowEvent* event) {
    // A parentless dialog is centred on the screen by Qt itself, a child one on its parent.
    CurrentPage().Activate();
    QDialog::showEvent(event);
}

void SettingsPropSheet::SelectTab(int index) {
    const QSignalBlocker quiet(ui.pageTabs);
    ui.pageTabs->setCurrentIndex(index);
}

void SettingsPropSheet::OnTabChanged(int index) {
    if (index == activeIndex || index < 0) return;
    // The page being left stays in view while it decides, including under its message box.
    SelectTab(activeIndex);
    if (!CurrentPage().Leave()) return;
    activeIndex = index;
    SelectTab(activeIndex);
    CurrentPage().Activate();
}

void SettingsPropSheet::accept() {
    if (CurrentPage().Leave()) QDialog::accept();
}

void SettingsPropSheet::Apply() {
    CurrentPage().Leave();
    for (SettingsPage* page : pages) page->SetModified(false);
}

void SettingsPropSheet::UpdateApplyButton() {
    bool anyModified = false;
    for (SettingsPage* page : pages) anyModified = anyModified || page->IsModified();
    ui.buttons->button(QDialogButtonBox::Apply)->setEnabled(anyModified);
}
