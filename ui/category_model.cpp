#include "category_model.h"

#include <algorithm>
#include <numeric>

#include "grid_style.h"
#include "query_model.h"
#include "timestamp_mask.h"

namespace ui {

namespace {

const sql::SqlValue* field(const archive::Query& q, int row, const char* name) {
  int i = q.columnIndex(name);
  return i < 0 ? nullptr : &q.rows()[static_cast<size_t>(row)][static_cast<size_t>(i)];
}

QString textOf(const sql::SqlValue* v) { return v ? QString::fromStdString(v->asString()) : QString(); }

const char* forumField(int column) {
  static const char* fields[] = {"F_SUBJECT", "F_TOPICS", "F_COUNT", "F_LAST_POST", "CAT_ID", "FORUM_ID"};
  return fields[column];
}

}  // namespace

CategoryModel::CategoryModel(archive::Query& categories, archive::Query& forums, QObject* parent)
    : QAbstractItemModel(parent), categories_(categories), forums_(forums) {
  reload();
}

void CategoryModel::reload() {
  beginResetModel();
  categoryOrder_.clear();
  forumsOf_.clear();
  if (categories_.Active()) {
    categoryOrder_.resize(static_cast<size_t>(categories_.RecordCount()));
    std::iota(categoryOrder_.begin(), categoryOrder_.end(), 0);
  }
  QHash<QString, std::vector<int>> byCategory;
  if (forums_.Active())
    for (int r = 0; r < forums_.RecordCount(); ++r) byCategory[textOf(field(forums_, r, "CAT_ID"))].push_back(r);
  for (int row : categoryOrder_) forumsOf_.push_back(byCategory.value(textOf(field(categories_, row, "CAT_ID"))));
  endResetModel();
}

QModelIndex CategoryModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent)) return {};
  // Category rows carry id 0; the rows under category c carry c + 1.
  return createIndex(row, column, parent.isValid() ? static_cast<quintptr>(parent.row() + 1) : 0);
}

QModelIndex CategoryModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
}

int CategoryModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(categoryOrder_.size());
  if (parent.internalId() != 0 || parent.column() != 0) return 0;
  const auto& forums = forumsOf_[static_cast<size_t>(parent.row())];
  return forums.empty() ? 0 : static_cast<int>(forums.size()) + 1;
}

int CategoryModel::columnCount(const QModelIndex&) const { return ColumnCount; }

int CategoryModel::categoryRow(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() != 0) return -1;
  return categoryOrder_.at(static_cast<size_t>(index.row()));
}

int CategoryModel::forumRow(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() == 0 || index.row() == 0) return -1;
  return forumsOf_.at(index.internalId() - 1).at(static_cast<size_t>(index.row() - 1));
}

bool CategoryModel::isHeaderRow(const QModelIndex& index) const {
  return index.isValid() && index.internalId() != 0 && index.row() == 0;
}

QString CategoryModel::forumHeader(int column) {
  static const char* headers[] = {"主题", "帖子", "访问", "最后回复", "", ""};
  return QString::fromUtf8(headers[column]);
}

QString CategoryModel::categoryText(int queryRow, int column) const {
  if (column == Name) return textOf(field(categories_, queryRow, "CAT_NAME"));
  if (column == CatId) return textOf(field(categories_, queryRow, "CAT_ID"));
  return QString();
}

QString CategoryModel::forumText(int queryRow, int column) const {
  QString s = textOf(field(forums_, queryRow, forumField(column)));
  return column == LastPost ? maskTimestamp(s) : s;
}

QVariant CategoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const bool category = index.internalId() == 0;
  if (role == kSheetRole)
    return QVariant::fromValue(static_cast<const void*>(category ? &devExpressSheet() : &userFormat3Sheet()));
  if (role == kHeaderRowRole) return isHeaderRow(index);
  if (role == Qt::TextAlignmentRole)
    return static_cast<int>(((!category && (index.column() == Topics || index.column() == Visits)) ? Qt::AlignRight
                                                                                                  : Qt::AlignLeft) |
                            Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  if (category) return categoryText(categoryRow(index), index.column());
  if (isHeaderRow(index)) return forumHeader(index.column());
  return forumText(forumRow(index), index.column());
}

QVariant CategoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == Name ? QString::fromUtf8("类别") : QString();
}

Qt::ItemFlags CategoryModel::flags(const QModelIndex& index) const {
  if (isHeaderRow(index)) return Qt::ItemIsEnabled;
  return QAbstractItemModel::flags(index);
}

void CategoryModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= CatId) return;
  emit layoutAboutToBeChanged();
  auto less = [&](const sql::SqlValue* a, const sql::SqlValue* b) {
    static const sql::SqlValue none;
    return order == Qt::AscendingOrder ? lessForSort(a ? *a : none, b ? *b : none) : lessForSort(b ? *b : none, a ? *a : none);
  };
  // Categories sort by name; the forums under each by the column.
  std::vector<size_t> perm(categoryOrder_.size());
  std::iota(perm.begin(), perm.end(), 0);
  if (column == Name)
    std::stable_sort(perm.begin(), perm.end(), [&](size_t a, size_t b) {
      return less(field(categories_, categoryOrder_[a], "CAT_NAME"), field(categories_, categoryOrder_[b], "CAT_NAME"));
    });
  std::vector<int> categories;
  std::vector<std::vector<int>> forums;
  for (size_t p : perm) {
    categories.push_back(categoryOrder_[p]);
    forums.push_back(forumsOf_[p]);
    std::stable_sort(forums.back().begin(), forums.back().end(), [&](int a, int b) {
      return less(field(forums_, a, forumField(column)), field(forums_, b, forumField(column)));
    });
  }
  // Keep selection and opened rows where their rows went.
  std::vector<int> newPos(perm.size());
  for (size_t i = 0; i < perm.size(); ++i) newPos[perm[i]] = static_cast<int>(i);
  QModelIndexList from = persistentIndexList(), to;
  for (const QModelIndex& i : from) {
    if (i.internalId() == 0) {
      to.push_back(createIndex(newPos[static_cast<size_t>(i.row())], i.column(), quintptr{0}));
      continue;
    }
    size_t oldParent = i.internalId() - 1;
    int parentRow = newPos[oldParent];
    int row = 0;
    if (i.row() > 0) {
      const auto& list = forums[static_cast<size_t>(parentRow)];
      int forum = forumsOf_[oldParent][static_cast<size_t>(i.row() - 1)];
      row = 1 + static_cast<int>(std::find(list.begin(), list.end(), forum) - list.begin());
    }
    to.push_back(createIndex(row, i.column(), static_cast<quintptr>(parentRow + 1)));
  }
  categoryOrder_ = std::move(categories);
  forumsOf_ = std::move(forums);
  changePersistentIndexList(from, to);
  emit layoutChanged();
}

}  // namespace ui
