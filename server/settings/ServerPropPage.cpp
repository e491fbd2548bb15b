#include "ServerPropPage.h"

#include "PageExchange.h"
#include "SettingRules.h"
#include "TypingLimits.h"

ServerPropPage::ServerPropPage(ServerCore& core, QWidget* parent) : SettingsPage(core, parent) {
    ui.setupUi(this);
    LimitTyping(ui.serverNameEdit, kServerNameLength);
    LimitTyping(ui.adminNameEdit, kNameOrPasswordLength);
    LimitTyping(ui.adminEmailEdit, kContactLength);
    LimitTyping(ui.serverWebsiteEdit, kContactLength);
    LimitTyping(ui.serverPasswordEdit, kNameOrPasswordLength);
    LimitTyping(ui.remotePasswordEdit, kNameOrPasswordLength);
    for (QLineEdit* edit : {ui.serverNameEdit, ui.adminNameEdit, ui.adminEmailEdit,
                            ui.serverWebsiteEdit, ui.serverPasswordEdit, ui.remotePasswordEdit})
        connect(edit, &QLineEdit::textChanged, this, &ServerPropPage::OnTextChanged);
}

void ServerPropPage::InitialisePage() {
    // Whole, not through the store's buffers: a text longer than its field must be refused when
    // the page is left, not cut to fit and sent back in place of the operator's.
    const auto show = [&](QLineEdit* edit, SettingText which) {
        const std::string text = core.WholeSettingText(which).value_or(std::string());
        edit->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    };
    show(ui.serverNameEdit, SettingText::ServerName);
    show(ui.adminNameEdit, SettingText::AdminName);
    show(ui.adminEmailEdit, SettingText::AdminEmail);
    show(ui.serverWebsiteEdit, SettingText::ServerWebsite);
    show(ui.serverPasswordEdit, SettingText::ServerPassword);
    show(ui.remotePasswordEdit, SettingText::RemoteAdminPassword);
}

void ServerPropPage::OnTextChanged() {
    if (!IsWritingControls()) SetModified(true);
}

bool ServerPropPage::ApplyPage() {
    PageExchange exchange(this);
    QByteArray serverName, adminName, adminEmail, website, password, remotePassword;
    if (!exchange.CommandText(ui.serverNameEdit, kServerNameLength, QStringLiteral("Server Name"),
                              serverName) ||
        !exchange.CommandText(ui.adminNameEdit, kNameOrPasswordLength, QStringLiteral("Admin Name"),
                              adminName) ||
        !exchange.CommandText(ui.adminEmailEdit, kContactLength, QStringLiteral("Admin Email"),
                              adminEmail) ||
        !exchange.CommandText(ui.serverWebsiteEdit, kContactLength,
                              QStringLiteral("Server Website"), website) ||
        !exchange.CommandText(ui.serverPasswordEdit, kNameOrPasswordLength,
                              QStringLiteral("Server Password"), password) ||
        !exchange.CommandText(ui.remotePasswordEdit, kNameOrPasswordLength,
                              QStringLiteral("Remote Admin Password"), remotePassword))
        return false;

    for (QLineEdit* edit : {ui.serverPasswordEdit, ui.remotePasswordEdit}) {
        if (SettingRules::IsShortPassword(edit->text())) {
            exchange.ShowError(edit, SettingRules::ShortPasswordMessage(),
                               SettingRules::ErrorCaption());
            return false;
        }
    }

    Send(Setting::ServerName, serverName.toStdString());
    Send(Setting::AdminName, adminName.toStdString());
    Send(Setting::AdminEmail, adminEmail.toStdString());
    Send(Setting::ServerWebsite, website.toStdString());
    Send(Setting::ServerPassword, password.toStdString());
    Send(Setting::RemoteAdminPassword, remotePassword.toStdString());
    return true;
}
