// The program's window icon, drawn rather than shipped as a file.
#pragma once

#include <QIcon>

QIcon AppIcon();
