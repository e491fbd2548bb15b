#include "ConsoleLog.h"

std::string_view ConsoleLog::MakeEntry(std::string_view text, std::string& buffer) {
    text = text.substr(0, kEntryLength);
    if (text.empty()) return {};
    // Only one control character goes: a CR LF ending keeps its CR.
    if (static_cast<unsigned char>(text.back()) < 32) text.remove_suffix(1);
    buffer.assign(text);
    buffer.append("\r\n");
    return buffer;
}

void ConsoleLog::AppendConsoleText(std::string_view text) {
    if (control.LineCount() > kLineLimit) Trim();
    if (control.TextLength() >= control.TextLimit()) Trim();
    std::string_view line = MakeEntry(text, entry);
    if (!line.empty()) control.AppendAtEnd(line);
}

void ConsoleLog::Trim() {
    const int lines = control.LineCount();
    const int keepFrom = lines * 75 / 100;
    const int position = control.LineStart(keepFrom);
    control.SetRedraw(false);
    control.DeleteTextBefore(position);
    control.SetRedraw(true);
}
