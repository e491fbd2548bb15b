#include "PageExchange.h"

#include <QLineEdit>
#include <QMessageBox>

#include "SettingRules.h"

namespace {
constexpr const char* kProgramCaption = "Tarnwick Server";
}

bool PageExchange::Text(QLineEdit* edit, int maxCharacters, QString& value) {
    const QString text = edit->text();
    if (text.size() > maxCharacters)
        return Refuse(edit, SettingRules::TooManyCharactersMessage(maxCharacters));
    value = text;
    return true;
}

bool PageExchange::CommandText(QLineEdit* edit, int maxCharacters, const QString& fieldName,
                               QByteArray& value) {
    const QString text = edit->text();
    switch (SettingRules::CheckSettingText(text, maxCharacters)) {
        case SettingRules::TextProblem::TooLong:
            return Refuse(edit, SettingRules::TooManyCharactersMessage(maxCharacters));
        case SettingRules::TextProblem::UnsafeCharacter:
            return Refuse(edit, SettingRules::UnsafeTextMessage(fieldName));
        case SettingRules::TextProblem::NotLatin1:
            return Refuse(edit, SettingRules::NotLatin1Message(fieldName));
        case SettingRules::TextProblem::None:
            break;
    }
    value = text.toLatin1();
    return true;
}

bool PageExchange::Integer(QLineEdit* edit, int32_t& value) {
    const std::optional<int32_t> parsed = SettingRules::ParseExchangeInteger(edit->text());
    if (!parsed) return Refuse(edit, SettingRules::NotIntegerMessage());
    value = *parsed;
    return true;
}

bool PageExchange::Integer(QLineEdit* edit, int maxCharacters, int32_t& value) {
    if (edit->text().size() > maxCharacters)
        return Refuse(edit, SettingRules::TooManyCharactersMessage(maxCharacters));
    return Integer(edit, value);
}

void PageExchange::ShowError(QWidget* control, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, page);
    box.exec();
    if (control) control->setFocus();
}

bool PageExchange::Refuse(QWidget* control, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kProgramCaption), text,
                    QMessageBox::Ok, page);
    box.exec();
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
    return false;
}
