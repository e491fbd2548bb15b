// The world scan as the dialogs run it: the engine's file list under a wait cursor.
#pragma once

#include <string>
#include <vector>

// Appends the world names of `directory` to target, in the engine's order (WorldNames.h).
void ScanWorlds(std::vector<std::string>& target, const char* directory);
