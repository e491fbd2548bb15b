// What every page of the settings sheet shares: it fills its controls the first time it becomes
// the current page, applies itself when the sheet leaves it, and keeps a modified mark for the
// sheet's Apply button. A page reads the settings from the server core and hands it each change.
#pragma once

#include <QWidget>

#include "ServerCore.h"

class SettingsPage : public QWidget {
    Q_OBJECT

public:
    explicit SettingsPage(ServerCore& core, QWidget* parent = nullptr)
        : QWidget(parent), core(core) {}

    // The page became the current one.
    void Activate();
    // The sheet leaves the page (tab change, OK, Apply). False keeps the page current. A page
    // that was never shown has nothing of the operator's to send.
    bool Leave();
    bool IsInitialised() const { return initialised; }

    // Reads the controls and sends the page's values; false when a control refuses, and then
    // nothing of the page has been sent.
    virtual bool ApplyPage() = 0;

    bool IsModified() const { return modified; }
    void SetModified(bool on);

signals:
    void ModifiedChanged();

protected:
    virtual void InitialisePage() = 0;

    // One setting to the server, as the window's operator asks it.
    void Send(Setting setting, SettingValue value) {
        core.ChangeSetting({setting, std::move(value)}, Requester::Window());
    }
    ServerCore& core;

    // While the page writes its own controls, their change notifications are not the operator's.
    bool IsWritingControls() const { return writingControls; }
    class WritingControls {
    public:
        explicit WritingControls(SettingsPage& page) : page(page), was(page.writingControls) {
            page.writingControls = true;
        }
        ~WritingControls() { page.writingControls = was; }
        WritingControls(const WritingControls&) = delete;
        WritingControls& operator=(const WritingControls&) = delete;

    private:
        SettingsPage& page;
        bool was;
    };

private:
    bool initialised = false;
    bool modified = false;
    bool writingControls = false;
};
