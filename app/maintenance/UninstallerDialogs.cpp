#include "app/maintenance/UninstallerDialogs.h"

#include <QMessageBox>
#include <QString>

namespace ovra::UninstallerDialogs {

ConfirmModel model(const UninstallerText::Question& question) {
    ConfirmModel model;
    model.title = question.title;
    model.message = question.message;
    model.confirmTitle = question.confirmTitle;
    model.cancelTitle = question.cancelTitle;
    model.destructive = question.destructive;
    model.focus = 1;
    return model;
}

void showFailure(const UninstallerText::Message& message, QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Murmlark Ovra"),
                    QString::fromStdString(message.title), QMessageBox::Ok, parent);
    box.setInformativeText(QString::fromStdString(message.text));
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace ovra::UninstallerDialogs
