#include "hot_zone_splitter.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

HotZoneSplitter::HotZoneSplitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent) {
  setHandleWidth(8);
  setChildrenCollapsible(true);
}

QSplitterHandle* HotZoneSplitter::createHandle() { return new HotZoneHandle(orientation(), this); }

QRect HotZoneSplitter::hotZone() const {
  auto* h = static_cast<HotZoneHandle*>(handle(1));
  return h ? h->hotZone() : QRect();
}

void HotZoneSplitter::toggleCollapsed() {
  QList<int> s = sizes();
  if (s.size() < 2) return;
  int total = s[0] + s[1];
  if (!collapsed_) {
    restoreSize_ = s[0];
    setSizes({0, total});
  } else {
    setSizes({restoreSize_, std::max(0, total - restoreSize_)});
  }
  collapsed_ = !collapsed_;
}

QRect HotZoneHandle::hotZone() const {
  if (orientation() == Qt::Horizontal) {  // a vertical bar between left and right
    int len = height() / 5;
    return QRect(0, (height() - len) / 2, width(), len);
  }
  int len = width() / 5;
  return QRect((width() - len) / 2, 0, len, height());
}

void HotZoneHandle::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().button());
  QRect zone = hotZone();
  p.fillRect(zone.adjusted(1, 1, -1, -1), palette().mid());
  // An arrow pointing where the click moves the bar.
  bool towardStart = !owner_->collapsed();
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(palette().windowText());
  p.setPen(Qt::NoPen);
  QPointF c = QRectF(zone).center();
  QPolygonF arrow;
  if (orientation() == Qt::Horizontal) {
    double d = towardStart ? -2 : 2;
    arrow << QPointF(c.x() + d, c.y()) << QPointF(c.x() - d, c.y() - 4) << QPointF(c.x() - d, c.y() + 4);
  } else {
    double d = towardStart ? -2 : 2;
    arrow << QPointF(c.x(), c.y() + d) << QPointF(c.x() - 4, c.y() - d) << QPointF(c.x() + 4, c.y() - d);
  }
  p.drawPolygon(arrow);
}

void HotZoneHandle::mousePressEvent(QMouseEvent* event) {
  pressedInZone_ = event->button() == Qt::LeftButton && hotZone().contains(event->position().toPoint());
  if (!pressedInZone_) QSplitterHandle::mousePressEvent(event);
}

void HotZoneHandle::mouseMoveEvent(QMouseEvent* event) {
  if (!pressedInZone_) QSplitterHandle::mouseMoveEvent(event);
}

void HotZoneHandle::mouseReleaseEvent(QMouseEvent* event) {
  if (pressedInZone_) {
    pressedInZone_ = false;
    if (hotZone().contains(event->position().toPoint())) {
      owner_->toggleCollapsed();
      update();
    }
    return;
  }
  QSplitterHandle::mouseReleaseEvent(event);
}

}  // namespace ui
