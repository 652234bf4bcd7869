#include "app/plain_message_box.h"

#include <QMessageBox>

void ShowPlainMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("信息："), QString::fromStdString(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}
