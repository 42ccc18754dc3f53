#include "qt_message_boxes.h"

#include <QMessageBox>

namespace ndx {

void QtMessageBoxes::show(const std::string& caption, const std::string& text, BoxIcon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    if (icon == BoxIcon::Error) qtIcon = QMessageBox::Critical;
    if (icon == BoxIcon::Information) qtIcon = QMessageBox::Information;
    QMessageBox box(qtIcon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    box.exec();
}

bool QtMessageBoxes::ask(const std::string& caption, const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace ndx
