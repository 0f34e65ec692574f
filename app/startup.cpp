#include "startup.h"

#include <QApplication>
#include <QScreen>
#include <memory>

#include "exception_box.h"
#include "form_main.h"
#include "ui/pictures.h"
#include "ui/splash_about.h"

namespace app {

int runReader(QApplication& application) {
  std::unique_ptr<TForm1> form;
  std::unique_ptr<ui::TFormAbout> about;
  try {
    auto splash = std::make_unique<ui::TFormSplash>();
    splash->show();
    splash->repaint();
    setApplicationTitle(QStringLiteral("Ostrel Forum"));
    QApplication::setWindowIcon(ui::applicationIcon());
    form = std::make_unique<TForm1>();
    about = std::make_unique<ui::TFormAbout>(form.get());
    form->setAboutBox(about.get());
    splash->hide();
    splash->close();
    splash.reset();
    // Centred on the screen when first shown.
    if (QScreen* screen = QGuiApplication::primaryScreen())
      form->move(screen->availableGeometry().center() - form->rect().center());
    form->show();
    application.exec();
  } catch (const std::exception& e) {
    showStandardException(nullptr, e.what());
  } catch (...) {
    showStandardException(nullptr, std::string());
  }
  about.reset();
  form.reset();
  return 0;
}

}  // namespace app
