#include "query_model.h"

#include <algorithm>
#include <numeric>

#include "timestamp_mask.h"

namespace ui {

bool lessForSort(const sql::SqlValue& a, const sql::SqlValue& b) {
  using T = sql::SqlValue::Type;
  auto numeric = [](const sql::SqlValue& v) { return v.type == T::Integer || v.type == T::Real; };
  if (a.isNull() || b.isNull()) return a.isNull() && !b.isNull();
  if (numeric(a) && numeric(b)) {
    if (a.type == T::Integer && b.type == T::Integer) return a.integer < b.integer;
    return (a.type == T::Integer ? static_cast<double>(a.integer) : a.real) <
           (b.type == T::Integer ? static_cast<double>(b.integer) : b.real);
  }
  if (numeric(a) != numeric(b)) return numeric(a);
  return QString::fromStdString(a.bytes).compare(QString::fromStdString(b.bytes), Qt::CaseInsensitive) < 0;
}

QueryModel::QueryModel(archive::Query& query, std::vector<ColumnSpec> columns, QObject* parent)
    : QAbstractTableModel(parent), query_(query), columns_(std::move(columns)) {
  reload();
}

void QueryModel::reload() {
  beginResetModel();
  order_.clear();
  fieldOf_.clear();
  for (const ColumnSpec& c : columns_) fieldOf_.push_back(query_.columnIndex(c.field));
  endResetModel();
}

int QueryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !query_.Active() ? 0 : query_.RecordCount();
}

int QueryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int QueryModel::rowOf(int viewRow) const {
  return order_.empty() ? viewRow : order_.at(static_cast<size_t>(viewRow));
}

const sql::SqlValue* QueryModel::value(int viewRow, int column) const {
  if (viewRow < 0 || viewRow >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
  int field = fieldOf_[static_cast<size_t>(column)];
  if (field < 0) return nullptr;
  return &query_.rows()[static_cast<size_t>(rowOf(viewRow))][static_cast<size_t>(field)];
}

QString QueryModel::text(int viewRow, int column) const {
  const sql::SqlValue* v = value(viewRow, column);
  if (!v) return QString();
  QString s = QString::fromStdString(v->asString());
  return columns_[static_cast<size_t>(column)].timestamp ? maskTimestamp(s) : s;
}

QVariant QueryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return text(index.row(), index.column());
  if (role == Qt::TextAlignmentRole) {
    const sql::SqlValue* v = value(index.row(), index.column());
    bool number = v && (v->type == sql::SqlValue::Type::Integer || v->type == sql::SqlValue::Type::Real);
    return static_cast<int>((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }
  return {};
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return columns_[static_cast<size_t>(section)].header;
  return {};
}

void QueryModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount() || fieldOf_[static_cast<size_t>(column)] < 0) return;
  emit layoutAboutToBeChanged();
  const size_t field = static_cast<size_t>(fieldOf_[static_cast<size_t>(column)]);
  const auto& rows = query_.rows();
  std::vector<int> next(static_cast<size_t>(rowCount()));
  std::iota(next.begin(), next.end(), 0);
  std::stable_sort(next.begin(), next.end(), [&](int a, int b) {
    const auto& va = rows[static_cast<size_t>(a)][field];
    const auto& vb = rows[static_cast<size_t>(b)][field];
    return order == Qt::AscendingOrder ? lessForSort(va, vb) : lessForSort(vb, va);
  });
  // Keep the views' selections on the same rows.
  QModelIndexList from = persistentIndexList(), to;
  std::vector<int> viewOf(next.size());
  for (size_t i = 0; i < next.size(); ++i) viewOf[static_cast<size_t>(next[i])] = static_cast<int>(i);
  for (const QModelIndex& i : from) to.push_back(index(viewOf[static_cast<size_t>(rowOf(i.row()))], i.column()));
  order_ = std::move(next);
  changePersistentIndexList(from, to);
  emit layoutChanged();
}

}  // namespace ui
