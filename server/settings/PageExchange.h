// Reads a page's controls into its members. When a control holds what its field cannot take, it
// tells the operator, gives that control the focus, and answers false so that the page stays.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class QLineEdit;
class QWidget;

class PageExchange {
public:
    explicit PageExchange(QWidget* page) : page(page) {}

    // A text of at most maxCharacters.
    bool Text(QLineEdit* edit, int maxCharacters, QString& value);
    // A text that goes into a quoted console command, as the engine's 8-bit text.
    bool CommandText(QLineEdit* edit, int maxCharacters, const QString& fieldName,
                     QByteArray& value);
    bool Integer(QLineEdit* edit, int32_t& value);
    // An integer written in at most maxCharacters.
    bool Integer(QLineEdit* edit, int maxCharacters, int32_t& value);

    // The stop-icon box the pages use for their own refusals.
    void ShowError(QWidget* control, const QString& text, const QString& caption);

private:
    bool Refuse(QWidget* control, const QString& text);

    QWidget* page;
};
