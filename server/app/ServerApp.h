// The application object: prepares the platform, then runs the main window modally for the life
// of the process.
#pragma once

#include <QStringList>
#include <functional>

#include "EngineSession.h"

class ServerCore;

class ServerApp {
public:
    explicit ServerApp(EngineModule module) : module(module) {}

    // The arguments as the application object left them (Qt's own taken out). Answers the
    // program's exit status (exit_status in CoreActions.h): 2 for a bad command line or another
    // server in the install directory, 0 after a termination signal.
    int Run(const QStringList& arguments);

    // The settings sheet shown at start-up, without an owner; answers true exactly for OK. None
    // when the command line skips it.
    static std::function<bool()> StartupSettingsSheet(const QStringList& arguments,
                                                      ServerCore& core);

private:
    EngineModule module;
};
