// The map rotation as the core reads and writes it for every front end: read from the rotation
// variables, written back through the settings setters.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ServerSettings.h"

struct RotationEntry {
    int position;       // the rotation position the world was read from
    std::string world;  // lowercased
};

// Positions 0 to NumMaps - 1 in order; a position whose variable is missing is left out and the
// others keep their own positions.
std::vector<RotationEntry> ReadRotation(ServerSettings& settings);

// Writes the worlds as the rotation from position 0 and then sends its length, which is the
// number of entries that reached the engine: an entry the engine could not be sent (too long for
// a command line, or unsafe) is left out and the ones after it close up, so the length never
// counts an entry the engine does not hold. Answers that length, or nothing when no engine took
// the first entry, in which case the length is left alone too.
std::optional<int> WriteRotation(ServerSettings& settings, const std::vector<std::string>& worlds);
