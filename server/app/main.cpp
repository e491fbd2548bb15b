#include <QApplication>
#include <cstdio>

#include "CommandLine.h"
#include "HeadlessApp.h"
#include "MillisecondClock.h"
#include "NumericLocale.h"
#include "ProgramVersion.h"
#include "ServerApp.h"

int main(int argc, char* argv[]) {
    ProgramClockBase();  // the update rate's clock starts with the program
    const EngineModule module{&CreateServerEngine, &ReleaseServerEngine};
    if (HeadlessRequested(argc, argv)) return RunHeadless(argc, argv, module);
    // Read before anything needs a display, so a bad option is said and ends with its status.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const WindowCommandLine commandLine =
        ReadWindowCommandLine(arguments, WindowCommandLine::Stage::BeforeQt);
    switch (commandLine.action) {
        case WindowCommandLine::Action::ShowUsage:
            std::fputs(HeadlessUsage().toLocal8Bit().constData(), stdout);
            return exit_status::kClean;
        case WindowCommandLine::Action::ShowVersion:
            std::puts(ProgramVersionLine("server").c_str());
            return exit_status::kClean;
        case WindowCommandLine::Action::Refuse:
            std::fprintf(stderr, "%s\n", commandLine.error.toLocal8Bit().constData());
            return exit_status::kBadCommandLine;
        case WindowCommandLine::Action::Run:
            break;
    }
    QApplication application(argc, argv);
    UseCNumericLocale();
    QApplication::setApplicationName(QStringLiteral("Tarnwick Server"));
    ServerApp app(module);
    return app.Run(QApplication::arguments());
}
