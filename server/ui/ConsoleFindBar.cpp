#include "ConsoleFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace {
const QColor kMatchColor(255, 236, 140);
const QColor kCurrentColor(255, 165, 70);

QTextEdit::ExtraSelection Marked(QTextDocument* document, qsizetype start, qsizetype length,
                                 const QColor& color) {
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(document);
    selection.cursor.setPosition(static_cast<int>(start));
    selection.cursor.setPosition(static_cast<int>(start + length), QTextCursor::KeepAnchor);
    selection.format.setBackground(color);
    selection.format.setForeground(Qt::black);
    return selection;
}

QToolButton* Button(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);  // the find field keeps the keyboard
    return button;
}
}  // namespace

ConsoleFindBar::ConsoleFindBar(QWidget* parent)
    : QWidget(parent),
      field(new QLineEdit(this)),
      previousButton(
          Button(QStringLiteral("Previous"), QStringLiteral("Previous match (Shift+F3)"), this)),
      nextButton(Button(QStringLiteral("Next"), QStringLiteral("Next match (F3)"), this)),
      closeButton(
          Button(QStringLiteral("Close"), QStringLiteral("Close the find bar (Escape)"), this)),
      status(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* caption = new QLabel(QStringLiteral("Find:"), this);
    caption->setBuddy(field);
    row->addWidget(caption);
    field->setObjectName(QStringLiteral("findField"));
    field->setMaxLength(kMaxFindLength);
    field->setClearButtonEnabled(true);
    row->addWidget(field, 1);
    previousButton->setObjectName(QStringLiteral("findPrevious"));
    previousButton->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    row->addWidget(previousButton);
    nextButton->setObjectName(QStringLiteral("findNext"));
    nextButton->setShortcut(QKeySequence(Qt::Key_F3));
    row->addWidget(nextButton);
    status->setObjectName(QStringLiteral("findStatus"));
    status->setTextFormat(Qt::PlainText);
    status->setMinimumWidth(
        status->fontMetrics().horizontalAdvance(QStringLiteral("999 of 9999, wrapped")));
    row->addWidget(status, 1);
    closeButton->setObjectName(QStringLiteral("findClose"));
    row->addWidget(closeButton);

    connect(field, &QLineEdit::textChanged, this, &ConsoleFindBar::SearchAgain);
    connect(nextButton, &QToolButton::clicked, this, &ConsoleFindBar::FindNext);
    connect(previousButton, &QToolButton::clicked, this, &ConsoleFindBar::FindPrevious);
    connect(closeButton, &QToolButton::clicked, this, &ConsoleFindBar::Close);
}

void ConsoleFindBar::Attach(QPlainTextEdit& view) {
    console = &view;
    current = QTextCursor(view.document());
    connect(view.document(), &QTextDocument::contentsChanged, this, &ConsoleFindBar::MarkSoon);
}

void ConsoleFindBar::Open() {
    open = true;
    show();
    field->setFocus();
    field->selectAll();
    Mark();
}

void ConsoleFindBar::Close() {
    open = false;
    hide();
    if (console) console->setExtraSelections({});
    emit closed();
}

void ConsoleFindBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:  // never the window's: that would send the command field
            Step(!(event->modifiers() & Qt::ShiftModifier));
            event->accept();
            return;
        case Qt::Key_Escape:
            Close();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void ConsoleFindBar::Step(bool forward) {
    if (!console) return;
    const QString text = console->toPlainText();
    const QString needle = field->text();
    if (current.hasSelection()) {
        Show(forward ? ConsoleSearch::Next(text, needle, current.selectionEnd())
                     : ConsoleSearch::Previous(text, needle, current.selectionStart()));
        return;
    }
    const int top = console->cursorForPosition(QPoint(0, 0)).position();
    Show(forward ? ConsoleSearch::Next(text, needle, top)
                 : ConsoleSearch::Previous(text, needle, top));
}

void ConsoleFindBar::SearchAgain() {
    if (!console) return;
    const int from = current.hasSelection() ? current.selectionStart()
                                            : console->cursorForPosition(QPoint(0, 0)).position();
    Show(ConsoleSearch::Next(console->toPlainText(), field->text(), from));
}

void ConsoleFindBar::Show(const SearchStep& step) {
    current.clearSelection();
    wrapped = step.wrapped;
    if (step.match) {
        current.setPosition(static_cast<int>(step.match->start));
        current.setPosition(static_cast<int>(step.match->start + step.match->length),
                            QTextCursor::KeepAnchor);
        console->setTextCursor(current);  // scrolls the match into view
    }
    Mark();
}

void ConsoleFindBar::MarkSoon() {
    if (!open || std::exchange(markPending, true)) return;
    // Many lines may arrive in one pass: mark once after them.
    QTimer::singleShot(0, this, [this] {
        markPending = false;
        Mark();
    });
}

void ConsoleFindBar::Mark() {
    if (!console) return;
    const QString needle = field->text();
    if (needle.isEmpty() || !open) {
        console->setExtraSelections({});
        status->clear();
        return;
    }
    const QString text = console->toPlainText();
    qsizetype total = 0;
    const std::vector<TextMatch> matches =
        ConsoleSearch::FindAll(text, needle, kMarkedMatches, &total);
    QList<QTextEdit::ExtraSelection> marks;
    marks.reserve(static_cast<qsizetype>(matches.size()) + 1);
    for (const TextMatch& match : matches)
        marks.append(Marked(console->document(), match.start, match.length, kMatchColor));
    // Trimmed away, or no longer the text searched for: no current match.
    if (current.hasSelection() && current.selectedText().compare(needle, Qt::CaseInsensitive) != 0)
        current.clearSelection();
    if (current.hasSelection()) {
        marks.append(Marked(console->document(), current.selectionStart(),
                            current.selectionEnd() - current.selectionStart(), kCurrentColor));
        qsizetype before = 0;
        ConsoleSearch::FindAll(QStringView(text).first(current.selectionStart()), needle, 0,
                               &before);
        status->setText(QStringLiteral("%1 of %2%3")
                            .arg(before + 1)
                            .arg(total)
                            .arg(wrapped ? QStringLiteral(", wrapped") : QString()));
    } else {
        status->setText(total == 0   ? QStringLiteral("No match")
                        : total == 1 ? QStringLiteral("1 match")
                                     : QStringLiteral("%1 matches").arg(total));
    }
    console->setExtraSelections(marks);
}

QString ConsoleFindBar::Status() const {
    return status->text();
}

std::optional<std::pair<int, int>> ConsoleFindBar::CurrentMatch() const {
    if (!current.hasSelection()) return std::nullopt;
    return std::pair(current.selectionStart(), current.selectionEnd() - current.selectionStart());
}

int ConsoleFindBar::MarkedCount() const {
    return console ? static_cast<int>(console->extraSelections().size()) : 0;
}
