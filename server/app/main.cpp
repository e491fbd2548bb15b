#include <QApplication>

#include "MillisecondClock.h"
#include "NumericLocale.h"
#include "ServerApp.h"

int main(int argc, char* argv[]) {
    ProgramClockBase();  // the update rate's clock starts with the program
    QApplication application(argc, argv);
    UseCNumericLocale();
    QApplication::setApplicationName(QStringLiteral("Tarnwick Server"));
    ServerApp app({&CreateServerEngine, &ReleaseServerEngine});
    return app.Run(QApplication::arguments());
}
