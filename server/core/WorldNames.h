// Which entries of the engine's file list are worlds, and the names they go by in the rotation.
// Plain C++; the core runs the scan for every front end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "EngineAccess.h"
#include "ServerEngine.h"

// True when the last path component of fileName (slash or backslash) ends in ".dat", any case.
bool IsWorldFile(std::string_view fileName);

// The rotation form of a world: the full name without its last 4 characters when it is longer
// than 4, lowercased.
std::string WorldNameOf(std::string_view fullName);

// Whether the rotation setter takes `name` at `index`: "map<index> <name>" fits a console command
// line and the name holds no control character.
bool RotationCanHold(std::string_view name, int index);

// The world names of a file list in the engine's order. A name the rotation could not hold at an
// index as large as the list's size is left out, so the operator is never offered a world that
// OK would then drop or cut.
std::vector<std::string> CollectWorldNames(const FileEntry* head);

// Lists `directory` through the bound engine under its lock, hands the list back to the engine
// and answers the world names; none when no engine is bound.
std::vector<std::string> ListWorlds(EngineAccess& engine, const char* directory);
