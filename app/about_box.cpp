#include "about_box.h"

#include <QMessageBox>

namespace tolvek {

QString aboutText() {
    return "Full duplex audio filter\n"
           "\n"
           "This version 24 April 2012\n"
           "Written by the Tolvek Filter developers\n"
           "\n"
           "Some parts pirated from elsewhere!\n";
}

void showAboutBox(QWidget* owner) {
    QMessageBox box(QMessageBox::NoIcon, "About Tolvekfilter", aboutText(), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace tolvek
