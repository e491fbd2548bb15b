// The console view's append rules: the view keeps roughly its last 250 lines, each entry holds at
// most 499 characters, and text is shown literally.
#pragma once

#include <string>
#include <string_view>

#include "ConsoleTextControl.h"

class ConsoleLog {
public:
    static constexpr int kLineLimit = 250;
    static constexpr std::size_t kEntryLength = 499;

    explicit ConsoleLog(ConsoleTextControl& control) : control(control) {}

    void AppendConsoleText(std::string_view text);

    // The entry for `text` with its line break, or an empty text when nothing is to be added.
    static std::string_view MakeEntry(std::string_view text, std::string& buffer);

private:
    void Trim();

    ConsoleTextControl& control;
    std::string entry;  // reused so that an append does not allocate
};
