// The reader's entry: arguments are not read; the exit code is always 0.
#include <QApplication>

#include "page/page_display.h"
#include "startup.h"

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // WebEngine asks for it before the application
  page::registerPageScheme();
  QApplication application(argc, argv);
  return app::runReader(application);
}
