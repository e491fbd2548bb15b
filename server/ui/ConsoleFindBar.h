// The find bar under the console (Ctrl+F): finds text without regard to case, steps to the next
// or previous match and wraps at the ends, marks every match, and says "No match". It only reads
// the console: the console's own trimming goes on underneath, and the marks follow the text.
// Enter and F3 find the next match, Shift+Enter and Shift+F3 the previous one, Escape closes.
#pragma once

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QWidget>
#include <optional>
#include <utility>

#include "ConsoleSearch.h"

class QLabel;
class QLineEdit;
class QToolButton;

class ConsoleFindBar : public QWidget {
    Q_OBJECT

public:
    static constexpr std::size_t kMarkedMatches = 1000;  // beyond these, matches are counted only
    static constexpr int kMaxFindLength = 499;           // the longest console entry

    explicit ConsoleFindBar(QWidget* parent = nullptr);

    void Attach(QPlainTextEdit& console);
    // Shows the bar with the find field focused and its text selected.
    void Open();
    void Close();
    void FindNext() { Step(true); }
    void FindPrevious() { Step(false); }

    bool IsOpen() const { return open; }
    QString Status() const;
    // The current match in the console's text, if there is one.
    std::optional<std::pair<int, int>> CurrentMatch() const;
    int MarkedCount() const;

signals:
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Step(bool forward);
    void SearchAgain();  // the find text changed: from the current match's start
    void Show(const SearchStep& step);
    void Mark();
    void MarkSoon();

    QLineEdit* field;
    QToolButton* previousButton;
    QToolButton* nextButton;
    QToolButton* closeButton;
    QLabel* status;
    QPlainTextEdit* console = nullptr;
    QTextCursor current;  // follows the console's edits; loses its selection when trimmed away
    bool open = false;
    bool wrapped = false;
    bool markPending = false;
};
