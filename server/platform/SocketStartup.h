// The socket library start-up that precedes the main window. POSIX sockets need none, so this
// always succeeds here; the message is kept for a platform whose start-up can fail.
#pragma once

inline constexpr const char* kSocketStartupFailedText = "Windows sockets initialization failed.";

bool StartSocketLibrary();
