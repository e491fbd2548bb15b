// The console command field. Up and Down walk the commands sent; Escape empties a field that
// holds text, and only an empty field leaves Escape to the window (the quit question). Every
// other key edits as in any line edit.
#pragma once

#include <QLineEdit>

#include "CommandHistory.h"

class CommandField : public QLineEdit {
    Q_OBJECT

public:
    explicit CommandField(QWidget* parent = nullptr);

    CommandHistory& History() { return history; }
    // The command as its bytes: Latin-1, as the engine takes it.
    QByteArray Command() const { return text().toLatin1(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Show(const std::optional<std::string>& command);

    CommandHistory history;
};
