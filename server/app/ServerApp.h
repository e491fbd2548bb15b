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

    // Answers the program's exit status.
    int Run(const QStringList& arguments);

    // The settings sheet shown at start-up, without an owner; answers true exactly for OK. None
    // when the command line skips it.
    static std::function<bool()> StartupSettingsSheet(const QStringList& arguments,
                                                      ServerCore& core);

private:
    EngineModule module;
};
