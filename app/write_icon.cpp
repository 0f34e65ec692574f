// Writes the application icon as PNG files (16, 32, 48 px) for the
// desktop entry, from the same painting the program uses.
#include <QGuiApplication>
#include <QIcon>

#include "ui/pictures.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 2) return 2;
  QIcon icon = ui::applicationIcon();
  for (int size : {16, 32, 48})
    if (!icon.pixmap(size, size).save(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/ostrel-%1.png").arg(size)))
      return 1;
  return 0;
}
