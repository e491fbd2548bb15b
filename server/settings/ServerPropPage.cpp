#include "ServerPropPage.h"

#include "PageExchange.h"
#include "PageRules.h"
#include "ServerSettings.h"
#include "TypingLimits.h"

ServerPropPage::ServerPropPage(QWidget* parent) : SettingsPage(parent) {
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
    ServerSettings& settings = ServerSettings::Instance();
    const auto show = [&](QLineEdit* edit, SettingText which) {
        const std::string text = settings.WholeText(which);
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
        if (PageRules::IsShortPassword(edit->text())) {
            exchange.ShowError(edit, PageRules::ShortPasswordMessage(), PageRules::ErrorCaption());
            return false;
        }
    }

    ServerSettings& settings = ServerSettings::Instance();
    settings.SetServerName(serverName.toStdString());
    settings.SetAdminName(adminName.toStdString());
    settings.SetAdminEmail(adminEmail.toStdString());
    settings.SetServerWebsite(website.toStdString());
    settings.SetServerPassword(password.toStdString());
    settings.SetRemoteAdminPassword(remotePassword.toStdString());
    return true;
}
