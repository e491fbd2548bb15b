// The server's console output: a read-only, unwrapped text view that keeps its latest lines.
#pragma once

#include <QPlainTextEdit>
#include <string_view>

#include "ConsoleLog.h"
#include "ConsoleTextControl.h"

class ConsoleView : public QPlainTextEdit, private ConsoleTextControl {
public:
    // The customary default limit of a multi-line text control; the view never sets another.
    static constexpr int kTextLimit = 32767;

    explicit ConsoleView(QWidget* parent = nullptr);

    // 8-bit text, shown byte for byte (Latin-1), without any format meaning of "%".
    void AppendConsoleText(std::string_view text) { log.AppendConsoleText(text); }

private:
    int LineCount() const override;
    int LineStart(int line) const override;
    int TextLength() const override;
    int TextLimit() const override { return kTextLimit; }
    void SetRedraw(bool enabled) override;
    void DeleteTextBefore(int position) override;
    void AppendAtEnd(std::string_view text) override;

    ConsoleLog log{*this};
};
