// Bytes from the engine, its files or the network (player names, world names, console lines) as
// the window shows them: in their safe form (SafeText.h), so no text can forge a line, reorder
// what is around it or hide in a name.
#pragma once

#include <QString>
#include <string_view>

#include "SafeText.h"

inline QString EngineText(std::string_view bytes) {
    const std::string text = safe_text::ForScreen(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
