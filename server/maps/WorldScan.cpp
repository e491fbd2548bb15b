#include "WorldScan.h"

#include "WaitCursor.h"
#include "WorldNames.h"

void ScanWorlds(std::vector<std::string>& target, const char* directory) {
    WaitCursor waitCursor;
    ListWorlds(target, directory);
}
