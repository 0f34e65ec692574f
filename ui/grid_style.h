// The lists' two style sheets ("DevExpress" for categories and topics,
// "UserFormat3" for forums) and the delegate that paints rows with them:
// whole-row selection in the Selection colours while the list has focus,
// the Inactive colours when it has not, even and odd rows otherwise.
// Fonts missing here fall back to DejaVu Sans, Chinese to Noto Sans CJK.
#pragma once

#include <QColor>
#include <QFont>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace ui {

struct GridStyleSheet {
  QString caption;
  QColor contentBack, contentText;
  QFont contentFont;
  QColor evenBack, oddBack;
  QColor selectionBack, selectionText;
  QFont selectionFont;
  QColor inactiveBack, inactiveText;  // an invalid text colour: the list's default
  QFont inactiveFont;
  QColor headerBack, headerText;
  QFont headerFont;
  QColor background;  // below the last row; invalid: the list's default
};

const GridStyleSheet& devExpressSheet();
const GridStyleSheet& userFormat3Sheet();

// A font by family with fallbacks for this system, `pixels` high.
QFont listFont(const QString& family, int pixels, bool bold = false);

// Puts the sheet's background and header look on a view.
void applySheet(QAbstractItemView* view, const GridStyleSheet& sheet);

// Which sheet paints a row: a model may answer this role with a pointer to
// a sheet, and with kHeaderRow for a row drawn as a header.
inline constexpr int kSheetRole = Qt::UserRole + 100;
inline constexpr int kHeaderRowRole = Qt::UserRole + 101;

class GridDelegate : public QStyledItemDelegate {
 public:
  GridDelegate(const GridStyleSheet& sheet, QObject* parent) : QStyledItemDelegate(parent), sheet_(sheet) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const GridStyleSheet& sheet_;
};

}  // namespace ui
