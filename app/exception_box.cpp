#include "exception_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace app {

QString standardExceptionText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

void setApplicationTitle(const QString& title) { QCoreApplication::setApplicationName(title); }

QString applicationTitle() { return QCoreApplication::applicationName(); }

void showStandardException(QWidget* parent, const std::string& message) {
  QMessageBox box(QMessageBox::Critical, applicationTitle(), standardExceptionText(QString::fromStdString(message)),
                  QMessageBox::Ok, parent);
  box.exec();
}

void showPlainMessage(QWidget* parent, const std::string& message) {
  QMessageBox box(QMessageBox::NoIcon, applicationTitle(), QString::fromStdString(message), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace app
