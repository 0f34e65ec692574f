#include "grid_style.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>
#include <QTreeView>

namespace ui {

QFont listFont(const QString& family, int pixels, bool bold) {
  QFont f;
  f.setFamilies({family, QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

const GridStyleSheet& devExpressSheet() {
  static const GridStyleSheet s = [] {
    GridStyleSheet g;
    g.caption = QStringLiteral("DevExpress");
    g.contentBack = g.evenBack = g.oddBack = QColor(QRgb{0xD9EAF7});
    g.contentText = QColor(QRgb{0x000000});
    g.contentFont = g.selectionFont = g.inactiveFont = listFont(QStringLiteral("Verdana"), 12);
    g.selectionBack = QColor(QRgb{0x316AC5});
    g.selectionText = QColor(QRgb{0xFFFFFF});
    g.inactiveBack = QColor(QRgb{0xA4C4EB});
    g.headerBack = QColor(QRgb{0x316AC5});
    g.headerText = QColor(QRgb{0xFFFFFF});
    g.headerFont = listFont(QStringLiteral("MS Sans Serif"), 11, true);
    g.background = QColor(QRgb{0xA4C4EB});
    return g;
  }();
  return s;
}

const GridStyleSheet& userFormat3Sheet() {
  static const GridStyleSheet s = [] {
    GridStyleSheet g;
    g.caption = QStringLiteral("UserFormat3");
    g.contentBack = QColor(QRgb{0xFFFFFF});
    g.contentText = QColor(QRgb{0x000000});
    g.contentFont = listFont(QStringLiteral("Tahoma"), 12);
    g.evenBack = QColor(QRgb{0xF8F8FF});
    g.oddBack = QColor(QRgb{0xE6E6FA});
    g.selectionBack = QColor(QRgb{0xA60000});
    g.selectionText = QColor(QRgb{0xFFFFFF});
    g.selectionFont = g.inactiveFont = g.headerFont = listFont(QStringLiteral("Arial"), 12, true);
    g.inactiveBack = QColor(QRgb{0xBF0000});
    g.inactiveText = QColor(QRgb{0xFFFFFF});
    g.headerBack = QColor(QRgb{0x00CED1});
    g.headerText = QColor(QRgb{0x000000});
    return g;
  }();
  return s;
}

void applySheet(QAbstractItemView* view, const GridStyleSheet& sheet) {
  QPalette pal = view->palette();
  if (sheet.background.isValid()) pal.setColor(QPalette::Base, sheet.background);
  view->setPalette(pal);
  QHeaderView* header = nullptr;
  if (auto* tree = qobject_cast<QTreeView*>(view)) header = tree->header();
  if (auto* table = qobject_cast<QTableView*>(view)) header = table->horizontalHeader();
  if (header) {
    header->setFont(sheet.headerFont);
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background: %1; color: %2; border: 1px solid %3; "
                                         "padding: 2px 4px; }")
                              .arg(sheet.headerBack.name(), sheet.headerText.name(), sheet.headerBack.darker(130).name()));
  }
  view->setItemDelegate(new GridDelegate(sheet, view));
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const GridStyleSheet* sheet = &sheet_;
  if (auto p = index.data(kSheetRole); p.isValid()) sheet = static_cast<const GridStyleSheet*>(p.value<const void*>());
  const bool headerRow = index.data(kHeaderRowRole).toBool();
  const bool selected = option.state & QStyle::State_Selected;
  const bool focused = option.widget && option.widget->hasFocus();
  QColor back = index.row() % 2 == 0 ? sheet->evenBack : sheet->oddBack;
  QColor text = sheet->contentText;
  QFont font = sheet->contentFont;
  if (headerRow) {
    back = sheet->headerBack;
    text = sheet->headerText;
    font = sheet->headerFont;
  } else if (selected && focused) {
    back = sheet->selectionBack;
    text = sheet->selectionText;
    font = sheet->selectionFont;
  } else if (selected) {
    back = sheet->inactiveBack;
    if (sheet->inactiveText.isValid()) text = sheet->inactiveText;
    font = sheet->inactiveFont;
  }
  painter->save();
  painter->fillRect(option.rect, back);
  if (headerRow) {
    painter->setPen(back.darker(130));
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
  }
  painter->setPen(text);
  painter->setFont(font);
  QRect r = option.rect.adjusted(4, 0, -4, 0);
  QString s = index.data(Qt::DisplayRole).toString();
  Qt::Alignment align = Qt::AlignVCenter | Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask);
  painter->drawText(r, static_cast<int>(align), QFontMetrics(font).elidedText(s, Qt::ElideRight, r.width()));
  painter->restore();
}

QSize GridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize s = QStyledItemDelegate::sizeHint(option, index);
  s.setHeight(std::max(s.height(), QFontMetrics(sheet_.contentFont).height() + 6));
  return s;
}

}  // namespace ui
