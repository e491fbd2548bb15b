#include "PageExchange.h"

#include <QLineEdit>
#include <QMessageBox>

#include "SettingRules.h"

namespace {
constexpr const char* kProgramCaption = "Tarnwick Server";
}

bool PageExchange::Check(QLineEdit* edit, Setting setting, const QString& shown) {
    return Accept(edit, setting, CheckField(FieldOf(setting), shown));
}

bool PageExchange::Check(QLineEdit* edit, Setting setting) {
    return Check(edit, setting, edit->text());
}

bool PageExchange::Accept(QLineEdit* edit, Setting setting, FieldProblem problem) {
    if (problem == FieldProblem::None) return true;
    const QString text = RefusalMessage(FieldOf(setting), problem);
    if (problem == FieldProblem::ShortPassword) {
        QMessageBox box(QMessageBox::Critical, SettingRules::ErrorCaption(), text, QMessageBox::Ok,
                        page);
        box.exec();
        edit->setFocus();
        return false;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kProgramCaption), text,
                    QMessageBox::Ok, page);
    box.exec();
    edit->setFocus();
    edit->selectAll();
    return false;
}
