#include "CommandField.h"

#include <QKeyEvent>

CommandField::CommandField(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(static_cast<int>(CommandHistory::kMaxEntryBytes));
}

void CommandField::Show(const std::optional<std::string>& command) {
    if (command)
        setText(QString::fromLatin1(command->data(), static_cast<qsizetype>(command->size())));
}

void CommandField::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
            case Qt::Key_Up: {
                const QByteArray typed = Command();
                Show(history.Older(
                    std::string_view(typed.constData(), static_cast<std::size_t>(typed.size()))));
                event->accept();
                return;
            }
            case Qt::Key_Down:
                Show(history.Newer());
                event->accept();
                return;
            case Qt::Key_Escape:
                if (text().isEmpty()) break;
                clear();
                event->accept();
                return;
            default:
                break;
        }
    }
    QLineEdit::keyPressEvent(event);
}
