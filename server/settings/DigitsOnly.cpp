#include "DigitsOnly.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

void MakeDigitsOnly(QLineEdit* edit) {
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}
