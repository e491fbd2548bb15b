#include "StatusText.h"

#include <algorithm>
#include <limits>

#include "FormatConnectedTime.h"

namespace {
constexpr std::string_view kGap = "  \xc2\xb7  ";  // a middle dot, as UTF-8
}

std::string StatusText(const ServerStatus& status, int64_t nowMs,
                       std::string_view webAdminAddress) {
    std::string line;
    switch (status.state) {
        case ServerState::Starting:
            line = "Starting";
            break;
        case ServerState::Stopped:
            line = "No server running";
            break;
        case ServerState::Running: {
            if (status.engineHungMs > 0) {
                line = "Engine not responding for " + std::to_string(status.engineHungMs / 1000) +
                       " s";
                line += kGap;
            }
            line += "World " + (status.world.empty() ? std::string("-") : status.world);
            line += kGap;
            line += "Players " + std::to_string(status.players) + "/" +
                    std::to_string(status.maxPlayers);
            if (status.startedAtMs > 0) {
                const int64_t seconds = std::clamp<int64_t>((nowMs - status.startedAtMs) / 1000, 0,
                                                            std::numeric_limits<int32_t>::max());
                line += kGap;
                line += "Up " + FormatConnectedTime(static_cast<int32_t>(seconds));
            }
            break;
        }
    }
    if (!webAdminAddress.empty()) {
        line += kGap;
        line += "Web admin ";
        line += webAdminAddress;
    }
    return line;
}
