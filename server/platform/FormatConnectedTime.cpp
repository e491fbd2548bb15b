#include "FormatConnectedTime.h"

#include <cstdio>

std::string FormatConnectedTime(int32_t seconds) {
    const int32_t days = seconds / 86400;
    const int32_t hours = seconds / 3600 - days * 24;
    const int32_t minutes = seconds / 60 - (seconds / 3600) * 60;
    const int32_t secondsOfMinute = seconds % 60;

    char text[48];
    int length;
    if (days > 0) {
        length = std::snprintf(text, sizeof text, "%ldd:%02dh:%02dm:%02ds", static_cast<long>(days),
                               hours, minutes, secondsOfMinute);
    } else if (hours > 0) {
        length =
            std::snprintf(text, sizeof text, "%02dh:%02dm:%02ds", hours, minutes, secondsOfMinute);
    } else {
        length = std::snprintf(text, sizeof text, "%02dm:%02ds", minutes, secondsOfMinute);
    }
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}
