// The standard exception box and the plain message box. Both are modal,
// captioned with the application title; the standard box has the error
// icon and shows the message with "." added when it is not empty and its
// last character sorts above ".".
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace app {

QString standardExceptionText(const QString& message);
void showStandardException(QWidget* parent, const std::string& message);
void showPlainMessage(QWidget* parent, const std::string& message);
// The application title, set by start-up ("Ostrel Forum").
void setApplicationTitle(const QString& title);
QString applicationTitle();

}  // namespace app
