// Exit statuses of the program run without a window. A service manager restarts it on 3 and
// leaves it stopped on 1 and 2, which a restart cannot mend.
#pragma once

enum HeadlessExitStatus : int {
    kExitClean = 0,           // a signal, "quit" typed, or the engine's close message
    kExitEngineNotBound = 1,  // the engine could not be bound
    kExitBadCommandLine = 2,  // an unknown option or a bad value, or a web admin that cannot
                              // start (its port is taken, TLS cannot start)
    kExitServerFailed = 3,    // a later start-up step failed, or the engine stopped by itself
};
