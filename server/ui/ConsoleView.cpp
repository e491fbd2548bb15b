#include "ConsoleView.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

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

void ConsoleView::DeleteTextBefore(int position) {
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    ensureCursorVisible();
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void ConsoleView::AppendAtEnd(std::string_view text) {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
    cursor.insertText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    setTextCursor(cursor);
    ensureCursorVisible();
}
