#include "ServerPropPage.h"

#include "PageExchange.h"
#include "PageRules.h"
#include "ServerSettings.h"

ServerPropPage::ServerPropPage(QWidget* parent) : SettingsPage(parent) {
    ui.setupUi(this);
    ui.serverNameEdit->setMaxLength(kServerNameLength);
    ui.adminNameEdit->setMaxLength(kNameOrPasswordLength);
    ui.adminEmailEdit->setMaxLength(kContactLength);
    ui.serverWebsiteEdit->setMaxLength(kContactLength);
    ui.serverPasswordEdit->setMaxLength(kNameOrPasswordLength);
    ui.remotePasswordEdit->setMaxLength(kNameOrPasswordLength);
    for (QLineEdit* edit : {ui.serverNameEdit, ui.adminNameEdit, ui.adminEmailEdit,
                            ui.serverWebsiteEdit, ui.serverPasswordEdit, ui.remotePasswordEdit})
        connect(edit, &QLineEdit::textChanged, this, &ServerPropPage::OnTextChanged);
}

void ServerPropPage::InitialisePage() {
    ServerSettings& settings = ServerSettings::Instance();
    ui.serverNameEdit->setText(QString::fromLatin1(settings.ServerName()));
    ui.adminNameEdit->setText(QString::fromLatin1(settings.AdminName()));
    ui.adminEmailEdit->setText(QString::fromLatin1(settings.AdminEmail()));
    ui.serverWebsiteEdit->setText(QString::fromLatin1(settings.ServerWebsite()));
    ui.serverPasswordEdit->setText(QString::fromLatin1(settings.ServerPassword()));
    ui.remotePasswordEdit->setText(QString::fromLatin1(settings.RemoteAdminPassword()));
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
