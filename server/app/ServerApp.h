// The application object: prepares the platform, then runs the main window modally for the life
// of the process.
#pragma once

#include <QStringList>

#include "EngineSession.h"

class ServerApp {
public:
    explicit ServerApp(EngineModule module) : module(module) {}

    // Answers the program's exit status.
    int Run(const QStringList& arguments);

private:
    EngineModule module;
};
