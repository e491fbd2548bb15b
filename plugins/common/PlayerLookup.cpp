#include "PlayerLookup.h"

#include <cstdarg>

namespace skill {

void log_message(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_logv(nullptr, G_LOG_LEVEL_MESSAGE, format, args);
    va_end(args);
}

}  // namespace skill
