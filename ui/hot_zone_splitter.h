// A splitter of two panes whose 8 px handle carries a hot zone over the
// middle 20 % of its length: a left click there collapses the first pane
// (for cxSplitter1 the left pane, for cxSplitter2 the topic grid) and the
// next click restores the size it had. Dragging the handle resizes as usual.
#pragma once

#include <QSplitter>
#include <QSplitterHandle>

namespace ui {

class HotZoneSplitter : public QSplitter {
 public:
  HotZoneSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

  bool collapsed() const { return collapsed_; }
  // What a click on the hot zone does.
  void toggleCollapsed();
  // The hot zone in the handle's coordinates.
  QRect hotZone() const;

 protected:
  QSplitterHandle* createHandle() override;

 private:
  bool collapsed_ = false;
  int restoreSize_ = 0;
};

class HotZoneHandle : public QSplitterHandle {
 public:
  HotZoneHandle(Qt::Orientation orientation, HotZoneSplitter* parent) : QSplitterHandle(orientation, parent), owner_(parent) {}
  QRect hotZone() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  HotZoneSplitter* owner_;
  bool pressedInZone_ = false;
};

}  // namespace ui
