#include "timestamp_mask.h"

namespace ui {

QString maskTimestamp(const QString& value) {
  if (value.isEmpty()) return QString();
  static const QString layout = QStringLiteral("0000-00-00 00:00:00");
  QString out;
  out.reserve(layout.size());
  qsizetype next = 0;
  for (QChar slot : layout) {
    if (slot != u'0') {
      out += slot;
      continue;
    }
    out += next < value.size() ? value[next] : QChar(u'_');
    ++next;
  }
  return out;
}

}  // namespace ui
