// The program's version: the project's version, and where the build had a git checkout, what
// `git describe` said of the sources it was built from.
#pragma once

#include <string>

// "server 1.0 (git 1ad7062)", or "server 1.0" built from a tarball.
std::string ProgramVersionLine(const std::string& program);
