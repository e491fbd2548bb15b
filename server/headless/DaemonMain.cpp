// tarnwickd: the server for machines without a screen. It runs what `server --headless` runs,
// built without the window, so that a box needs Qt Core and no desktop libraries.
#include "HeadlessApp.h"
#include "MillisecondClock.h"

int main(int argc, char* argv[]) {
    ProgramClockBase();  // the update rate's clock starts with the program
    return RunHeadless(argc, argv, EngineModule{&CreateServerEngine, &ReleaseServerEngine},
                       HeadlessProgram::Daemon);
}
