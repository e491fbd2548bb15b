#include "RotationStore.h"

#include <utility>

#include "ByteText.h"

std::vector<RotationEntry> ReadRotation(ServerSettings& settings) {
    std::vector<RotationEntry> entries;
    const int count = settings.NumMaps();
    for (int position = 0; position < count; ++position) {
        std::optional<std::string> world = settings.GetRotationMap(position);
        if (!world) continue;
        entries.push_back({position, byte_text::LowercaseAscii(std::move(*world))});
    }
    return entries;
}

std::optional<int> WriteRotation(ServerSettings& settings, const std::vector<std::string>& worlds) {
    int written = 0;
    for (const std::string& world : worlds) {
        switch (settings.SetRotationMap(written, world)) {
            case SendResult::Sent:
                ++written;
                break;
            case SendResult::NoEngine:
                return std::nullopt;
            case SendResult::TooLong:
            case SendResult::UnsafeText:
            case SendResult::WrongKind:
                break;
        }
    }
    settings.SetNumMaps(written);
    return written;
}
