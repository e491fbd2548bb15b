#include "ConsoleView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "EngineText.h"

namespace {
// An entry keeps the engine's own line end, so one that came as CR LF ends in CR CR LF: the CRs
// before the last line feed are that one line end. Everything before them is shown in its safe
// form, so one entry is always one line of the view.
QString Rendered(std::string_view text) {
    const bool lineEnd = !text.empty() && text.back() == '\n';
    if (lineEnd) text.remove_suffix(1);
    while (lineEnd && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    QString rendered = EngineText(text);
    if (lineEnd) rendered += QLatin1Char('\n');
    return rendered;
}
}  // namespace

ConsoleView::ConsoleView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
}

int ConsoleView::LineCount() const {
    return document()->blockCount();
}

int ConsoleView::LineStart(int line) const {
    QTextBlock block = document()->findBlockByNumber(line);
    return block.isValid() ? block.position() : TextLength();
}

int ConsoleView::TextLength() const {
    return document()->characterCount() - 1;
}

void ConsoleView::SetRedraw(bool enabled) {
    viewport()->setUpdatesEnabled(enabled);
}

bool ConsoleView::AtBottom() const {
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void ConsoleView::FollowEnd() {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ConsoleView::DeleteTextBefore(int position) {
    const bool following = AtBottom();
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (following) FollowEnd();
}

void ConsoleView::AppendAtEnd(std::string_view text) {
    // Read before the insertion: the new text moves the bottom away.
    const bool following = AtBottom();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(Rendered(text));
    if (following) FollowEnd();
}
