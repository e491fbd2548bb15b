// Bytes from the engine or its files (player names, world names, console lines) as the window
// shows them: well-formed UTF-8 as written, every other byte as its Latin-1 character.
#pragma once

#include <QString>
#include <string_view>

#include "ByteText.h"

inline QString EngineText(std::string_view bytes) {
    const std::string text = byte_text::ToUtf8(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
