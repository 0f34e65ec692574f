// The left list: the category query's rows, each opening onto the rows of
// the forum query with the same CAT_ID (one forum query for all, nested in
// memory). Under an opened category the forums come after a row of their
// own column headers, as a nested grid level shows them. A category with
// no forums has no children and so no open button.
//
// Columns: 0 the category name or forum subject, 1 topics, 2 visits, 3 last
// post (through the timestamp mask), then the hidden CAT_ID and FORUM_ID.
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <vector>

#include "archive/query.h"

namespace ui {

class CategoryModel : public QAbstractItemModel {
 public:
  enum Column { Name, Topics, Visits, LastPost, CatId, ForumId, ColumnCount };

  CategoryModel(archive::Query& categories, archive::Query& forums, QObject* parent = nullptr);

  // Either query opened, closed or changed its rows.
  void reload();

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  void sort(int column, Qt::SortOrder order) override;

  // The category query's row shown at `index` (a category row), else -1.
  int categoryRow(const QModelIndex& index) const;
  // The forum query's row shown at `index` (a forum row), else -1.
  int forumRow(const QModelIndex& index) const;
  bool isHeaderRow(const QModelIndex& index) const;
  // Forum headers as the nested level shows them.
  static QString forumHeader(int column);

 private:
  QString categoryText(int queryRow, int column) const;
  QString forumText(int queryRow, int column) const;

  archive::Query& categories_;
  archive::Query& forums_;
  std::vector<int> categoryOrder_;               // view row -> category query row
  std::vector<std::vector<int>> forumsOf_;       // by category view row: forum query rows
};

}  // namespace ui
