#include "SocketStartup.h"

bool StartSocketLibrary() {
    return true;
}
