#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ui {

namespace {

const QColor kOrange(0xF2, 0x7A, 0x1A);
const QColor kYellow(0xFF, 0xE0, 0x3A);
const QColor kBlue(0x31, 0x6A, 0xC5);

// The mark: a speech bubble with three lines of "text" in it.
void paintMark(QPainter& p, const QRectF& r) {
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath bubble;
  QRectF body(r.left(), r.top(), r.width(), r.height() * 0.78);
  bubble.addRoundedRect(body, r.width() * 0.18, r.height() * 0.18);
  QPolygonF tail;
  tail << QPointF(r.left() + r.width() * 0.22, body.bottom() - 1) << QPointF(r.left() + r.width() * 0.18, r.bottom())
       << QPointF(r.left() + r.width() * 0.45, body.bottom() - 1);
  bubble.addPolygon(tail);
  bubble.setFillRule(Qt::WindingFill);
  QLinearGradient fill(r.topLeft(), r.bottomRight());
  fill.setColorAt(0, kYellow);
  fill.setColorAt(1, kOrange);
  p.fillPath(bubble.simplified(), fill);
  p.setPen(QPen(Qt::white, std::max(1.0, r.height() / 14), Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    double y = body.top() + body.height() * (0.3 + 0.2 * i);
    p.drawLine(QPointF(body.left() + body.width() * 0.22, y), QPointF(body.right() - body.width() * (i == 2 ? 0.4 : 0.22), y));
  }
}

QFont titleFont(int pixels, bool bold = true) {
  QFont f;
  f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

}  // namespace

QPixmap logoPicture() {
  QPixmap pm(166, 60);
  pm.fill(Qt::white);
  QPainter p(&pm);
  paintMark(p, QRectF(6, 8, 46, 44));
  p.setPen(kBlue);
  p.setFont(titleFont(20));
  p.drawText(QRectF(58, 6, 106, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Ostrel"));
  p.setPen(kOrange);
  p.setFont(titleFont(14, false));
  p.drawText(QRectF(58, 30, 106, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Forum reader"));
  return pm;
}

QPixmap bannerPicture() {
  QPixmap pm(380, 71);
  QPainter p(&pm);
  QLinearGradient sky(0, 0, 0, 71);
  sky.setColorAt(0, QColor(0xEA, 0xF2, 0xFB));
  sky.setColorAt(1, QColor(0xA4, 0xC4, 0xEB));
  p.fillRect(pm.rect(), sky);
  paintMark(p, QRectF(14, 9, 56, 54));
  p.setPen(kBlue);
  p.setFont(titleFont(30));
  p.drawText(QRectF(84, 4, 290, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Ostrel Forum"));
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.setFont(titleFont(13, false));
  p.drawText(QRectF(86, 42, 290, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("the forum archive, offline"));
  return pm;
}

QPixmap stripPicture() {
  QPixmap pm(380, 10);
  QPainter p(&pm);
  QLinearGradient band(0, 0, 380, 0);
  band.setColorAt(0, kOrange);
  band.setColorAt(0.5, kYellow);
  band.setColorAt(1, kOrange);
  p.fillRect(pm.rect(), band);
  return pm;
}

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paintMark(p, QRectF(0.5, 0.5, size - 1, size - 1));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace ui
