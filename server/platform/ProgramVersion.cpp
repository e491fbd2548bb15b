#include "ProgramVersion.h"

#include "ProgramBuildInfo.h"  // written by WriteBuildInfo.cmake

std::string ProgramVersionLine(const std::string& program) {
    std::string line = program + " " + TARNWICK_VERSION;
    if (const std::string describe = TARNWICK_GIT_DESCRIBE; !describe.empty())
        line += " (git " + describe + ")";
    return line;
}
