#include "TypingLimits.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {
class LengthValidator final : public QValidator {
public:
    LengthValidator(int maxCharacters, QObject* parent)
        : QValidator(parent), maxCharacters(maxCharacters) {}
    State validate(QString& input, int&) const override {
        return input.size() <= maxCharacters ? Acceptable : Invalid;
    }

private:
    int maxCharacters;
};
}  // namespace

void MakeDigitsOnly(QLineEdit* edit, int maxDigits) {
    const QString pattern =
        maxDigits > 0 ? QStringLiteral("[0-9]{0,%1}").arg(maxDigits) : QStringLiteral("[0-9]*");
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
}

void LimitTyping(QLineEdit* edit, int maxCharacters) {
    edit->setValidator(new LengthValidator(maxCharacters, edit));
}
