#include <QApplication>
#include <cstdio>
#include <cstring>

#include "HeadlessApp.h"
#include "MillisecondClock.h"
#include "NumericLocale.h"
#include "ServerApp.h"

namespace {
bool Requested(int argc, char** argv, const char* name, const char* shortName = nullptr) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0 ||
            (shortName != nullptr && std::strcmp(argv[i], shortName) == 0))
            return true;
    return false;
}
}  // namespace

int main(int argc, char* argv[]) {
    ProgramClockBase();  // the update rate's clock starts with the program
    const EngineModule module{&CreateServerEngine, &ReleaseServerEngine};
    if (HeadlessRequested(argc, argv)) return RunHeadless(argc, argv, module);
    // No window for a question about the program.
    if (Requested(argc, argv, "--help", "-h")) {
        std::fputs(HeadlessUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (Requested(argc, argv, "--version")) {
        std::fputs(HeadlessVersion(HeadlessProgram::Server).toLocal8Bit().constData(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    UseCNumericLocale();
    QApplication::setApplicationName(QStringLiteral("Tarnwick Server"));
    ServerApp app(module);
    return app.Run(QApplication::arguments());
}
