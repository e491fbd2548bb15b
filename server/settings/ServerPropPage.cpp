#include "ServerPropPage.h"

#include "PageExchange.h"
#include "TypingLimits.h"

// The first six settings are the Server page's texts, in SettingText's order.
static_assert(static_cast<int>(Setting::ServerName) == static_cast<int>(SettingText::ServerName));
static_assert(static_cast<int>(Setting::RemoteAdminPassword) ==
              static_cast<int>(SettingText::RemoteAdminPassword));

ServerPropPage::ServerPropPage(ServerCore& core, QWidget* parent) : SettingsPage(core, parent) {
    ui.setupUi(this);
    for (auto [edit, setting] : Fields()) {
        LimitTyping(edit, FieldOf(setting).maxCharacters);
        connect(edit, &QLineEdit::textChanged, this, &ServerPropPage::OnTextChanged);
    }
}

std::array<std::pair<QLineEdit*, Setting>, 6> ServerPropPage::Fields() {
    return {{{ui.serverNameEdit, Setting::ServerName},
             {ui.adminNameEdit, Setting::AdminName},
             {ui.adminEmailEdit, Setting::AdminEmail},
             {ui.serverWebsiteEdit, Setting::ServerWebsite},
             {ui.serverPasswordEdit, Setting::ServerPassword},
             {ui.remotePasswordEdit, Setting::RemoteAdminPassword}}};
}

void ServerPropPage::InitialisePage() {
    // Whole, not through the store's buffers: a text longer than its field must be refused when
    // the page is left, not cut to fit and sent back in place of the operator's.
    for (auto [edit, setting] : Fields()) {
        const std::string text =
            core.WholeSettingText(static_cast<SettingText>(setting)).value_or(std::string());
        edit->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
}

void ServerPropPage::OnTextChanged() {
    if (!IsWritingControls()) SetModified(true);
}

bool ServerPropPage::ApplyPage() {
    PageExchange exchange(this);
    // What a field cannot hold is said before a password's length.
    for (auto [edit, setting] : Fields()) {
        const FieldProblem problem = CheckField(FieldOf(setting), edit->text());
        if (problem != FieldProblem::ShortPassword && !exchange.Accept(edit, setting, problem))
            return false;
    }
    for (auto [edit, setting] : Fields())
        if (!exchange.Check(edit, setting)) return false;

    for (auto [edit, setting] : Fields()) Send(setting, edit->text().toLatin1().toStdString());
    return true;
}
