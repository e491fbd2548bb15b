// The "Server" page: the server's name, contact data and passwords, all kept by the engine as
// texts.
#pragma once

#include <array>
#include <utility>

#include "SettingsPage.h"
#include "ui_ServerPropPage.h"

class ServerPropPage : public SettingsPage {
    Q_OBJECT

public:
    explicit ServerPropPage(ServerCore& core, QWidget* parent = nullptr);

    bool ApplyPage() override;

protected:
    void InitialisePage() override;

private:
    void OnTextChanged();
    // Each edit with the setting it holds, in the order they are checked and sent.
    std::array<std::pair<QLineEdit*, Setting>, 6> Fields();

    Ui::ServerPropPage ui;
};
