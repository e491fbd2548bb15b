#include <QApplication>
#include <cstdio>
#include <cstring>

#include "HeadlessApp.h"
#include "MillisecondClock.h"
#include "NumericLocale.h"
#include "ServerApp.h"

namespace {
bool HelpRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    return false;
}
}  // namespace

int main(int argc, char* argv[]) {
    ProgramClockBase();  // the update rate's clock starts with the program
    const EngineModule module{&CreateServerEngine, &ReleaseServerEngine};
    if (HeadlessRequested(argc, argv)) return RunHeadless(argc, argv, module);
    if (HelpRequested(argc, argv)) {  // no window for a question about the command line
        std::fputs(HeadlessUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    UseCNumericLocale();
    QApplication::setApplicationName(QStringLiteral("Tarnwick Server"));
    ServerApp app(module);
    return app.Run(QApplication::arguments());
}
