#include "ConsoleView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "EngineText.h"

namespace {
// An entry keeps the engine's own line end, so one that came as CR LF ends in CR CR LF. The text
// control would make the kept CR a line break of its own; CRs before a line feed are one line end.
QString Rendered(std::string_view text) {
    QString rendered = EngineText(text);
    qsizetype out = 0;
    for (qsizetype in = 0; in < rendered.size(); ++in) {
        if (rendered[in] == u'\r') {
            qsizetype next = in + 1;
            while (next < rendered.size() && rendered[next] == u'\r') ++next;
            if (next < rendered.size() && rendered[next] == u'\n') {
                in = next - 1;  // the line feed alone ends the line
                continue;
            }
        }
        rendered[out++] = rendered[in];
    }
    rendered.truncate(out);
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
