// The operations of a read-only multi-line text control that the console log needs. Lines are
// counted as the control counts them: the empty line after a final line break counts too.
#pragma once

#include <string_view>

class ConsoleTextControl {
public:
    virtual int LineCount() const = 0;
    virtual int LineStart(int line) const = 0;  // character position at which the line begins
    virtual int TextLength() const = 0;
    virtual int TextLimit() const = 0;
    virtual void SetRedraw(bool enabled) = 0;
    // Deletes the text before the position, with the caret scrolled into view.
    virtual void DeleteTextBefore(int position) = 0;
    // Inserts at the end, with the caret scrolled into view, as a change that cannot be undone.
    virtual void AppendAtEnd(std::string_view text) = 0;

protected:
    ~ConsoleTextControl() = default;
};
