// Checks a page's controls before the page sends anything. When a control holds what its field
// cannot take, it tells the operator as the sheet does, gives that control the focus, and answers
// false so that the page stays. The rules themselves are the fields' (SettingFields.h).
#pragma once

#include <QString>

#include "SettingFields.h"

class QLineEdit;
class QWidget;

class PageExchange {
public:
    explicit PageExchange(QWidget* page) : page(page) {}

    // Whether the edit's value may be sent: `shown` is the value as the page reads the edit.
    bool Check(QLineEdit* edit, Setting setting, const QString& shown);
    bool Check(QLineEdit* edit, Setting setting);
    // The same for a problem already found: the framework's box for what a field cannot hold,
    // the error box for a short password.
    bool Accept(QLineEdit* edit, Setting setting, FieldProblem problem);

private:
    QWidget* page;
};
