#include "SettingsPage.h"

void SettingsPage::Activate() {
    if (initialised) return;
    initialised = true;
    WritingControls writing(*this);
    InitialisePage();
}

bool SettingsPage::Leave() {
    return !initialised || ApplyPage();
}

void SettingsPage::SetModified(bool on) {
    if (modified == on) return;
    modified = on;
    emit ModifiedChanged();
}
