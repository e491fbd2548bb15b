// The "Server" page: the server's name, contact data and passwords, all kept by the engine as
// texts.
#pragma once

#include "SettingsPage.h"
#include "ui_ServerPropPage.h"

class ServerPropPage : public SettingsPage {
    Q_OBJECT

public:
    // What each text reads back whole from the engine, one byte kept for the terminator.
    static constexpr int kServerNameLength = 63;
    static constexpr int kNameOrPasswordLength = 31;
    static constexpr int kContactLength = 47;

    explicit ServerPropPage(ServerCore& core, QWidget* parent = nullptr);

    bool ApplyPage() override;

protected:
    void InitialisePage() override;

private:
    void OnTextChanged();

    Ui::ServerPropPage ui;
};
