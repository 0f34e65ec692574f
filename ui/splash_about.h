// The splash screen (TFormSplash) and the About box (TFormAbout): two
// borderless windows with the banner. The splash's two strips scroll right
// one pixel per 10 ms tick, wrapping at their width, edge to edge. The
// About box closes on a click on the banner or its own surface, never on a
// label; closing hides it, so it shows the same the next time.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace ui {

class TFormSplash : public QWidget {
 public:
  explicit TFormSplash(QWidget* parent = nullptr);
  QLabel* Image1;
  QLabel* Image2;
  QLabel* Image3;
  QTimer* Timer1;
  void Timer1Timer();
};

// A picture that reports a click (the About box's banner).
class ClickableImage : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class TFormAbout : public QDialog {
 public:
  explicit TFormAbout(QWidget* parent = nullptr);
  ClickableImage* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  void Image1Click() { close(); }
  void FormClick() { close(); }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace ui
