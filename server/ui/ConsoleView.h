// The server's console output: a read-only, unwrapped text view that keeps its latest lines. It
// follows new lines while it is scrolled to the bottom, as a terminal does, and stays where the
// operator scrolled to otherwise.
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

    // Engine bytes, shown as EngineText shows them, without any format meaning of "%".
    void AppendConsoleText(std::string_view text) { log.AppendConsoleText(text); }

private:
    int LineCount() const override;
    int LineStart(int line) const override;
    int TextLength() const override;
    int TextLimit() const override { return kTextLimit; }
    void SetRedraw(bool enabled) override;
    void DeleteTextBefore(int position) override;
    void AppendAtEnd(std::string_view text) override;
    bool AtBottom() const;
    void FollowEnd();

    ConsoleLog log{*this};
};
