// Where the game is installed: every relative path of the program and the engine resolves there.
#pragma once

#include <QString>

// The "Install Dir" value of the machine-wide "Brackwater" / "Tarnwick Demo" settings; empty when
// the key or the value is missing.
QString ReadInstallDirectory();

// Makes the install directory the current directory when one is configured and exists; otherwise
// the inherited current directory stays. Answers whether it changed.
bool EnterInstallDirectory();
