#include "splash_about.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include "pictures.h"

namespace ui {

namespace {

QLabel* picture(QWidget* parent, const QPixmap& pm, int left, int top, QLabel* label = nullptr) {
  if (!label) label = new QLabel(parent);
  label->setPixmap(pm);
  label->setGeometry(left, top, pm.width(), pm.height());
  return label;
}

// Snap ITC where it is installed, else a rounded, bold-looking fallback.
QFont aboutFont(int pixels) {
  QFont f;
  f.setFamilies({QStringLiteral("Snap ITC"), QStringLiteral("URW Bookman"), QStringLiteral("DejaVu Serif")});
  f.setPixelSize(pixels);
  return f;
}

// A label keeps its clicks, so they never reach the box.
class InertLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void mousePressEvent(QMouseEvent* e) override { e->accept(); }
  void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
};

QLabel* aboutLabel(QWidget* parent, const QString& text, int pixels, int rightEdge, int top) {
  auto* l = new InertLabel(text, parent);
  l->setFont(aboutFont(pixels));
  l->setAutoFillBackground(true);  // opaque, on the box's colour
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, QColor(QRgb{0x0000FF}));
  l->setPalette(pal);
  l->adjustSize();
  // Sized to the text, right edges lined up as designed.
  l->move(rightEdge - l->width(), top);
  return l;
}

}  // namespace

TFormSplash::TFormSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("FormSplash"));
  setFixedSize(381, 82);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Base));  // the system's window colour
  setPalette(pal);
  move(334, 237);
  Image1 = picture(this, bannerPicture(), 0, 0);
  QPixmap strip = stripPicture();
  Image2 = picture(this, strip, -2, 72);
  Image3 = picture(this, strip, 378, 72);
  Timer1 = new QTimer(this);
  Timer1->setInterval(10);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1->start();
}

void TFormSplash::Timer1Timer() {
  for (QLabel* strip : {Image2, Image3}) {
    int left = strip->x() + 1;
    if (left >= strip->width()) left = -strip->width();
    strip->move(left, strip->y());
  }
}

void ClickableImage::mousePressEvent(QMouseEvent* event) { event->accept(); }

void ClickableImage::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("FormAbout"));
  setModal(true);
  setFixedSize(383, 164);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));  // button face
  setPalette(pal);
  Image1 = new ClickableImage(this);
  picture(this, bannerPicture(), 1, 1, Image1);
  connect(Image1, &ClickableImage::clicked, this, [this] { Image1Click(); });
  Label1 = aboutLabel(this, QStringLiteral("Read the forum offline"), 19, 292, 88);
  Label3 = aboutLabel(this, QStringLiteral("v 0.1"), 16, 292, 112);
  Label2 = aboutLabel(this, QStringLiteral("2005.03.25"), 16, 292, 136);
}

void TFormAbout::mouseReleaseEvent(QMouseEvent* event) {
  // Labels keep their clicks (QLabel accepts them); only the bare surface
  // gets here.
  if (event->button() == Qt::LeftButton) FormClick();
  QDialog::mouseReleaseEvent(event);
}

void TFormAbout::showEvent(QShowEvent* event) {
  if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
    move(s->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

}  // namespace ui
