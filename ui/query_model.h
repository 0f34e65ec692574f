// A list view's rows: the rows a query holds, shown column by column as
// the design names them. Nothing is copied or formatted up front: a cell
// is turned into text when the view paints it, so a list of 100,000 rows
// opens as fast as its query. Sorting by a header keeps an order of row
// numbers; rowOf() maps a view row back to the query's row.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "archive/query.h"

namespace ui {

struct ColumnSpec {
  QString name;       // the design's column name, e.g. "tvTopicsT_SUBJECT"
  std::string field;  // matched without regard to case
  QString header;
  int width = -1;     // -1: the list's default
  bool shown = true;
  bool timestamp = false;  // shown through the timestamp mask
};

class QueryModel : public QAbstractTableModel {
 public:
  QueryModel(archive::Query& query, std::vector<ColumnSpec> columns, QObject* parent = nullptr);

  // The query opened, closed or changed its rows.
  void reload();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

  const std::vector<ColumnSpec>& columns() const { return columns_; }
  int rowOf(int viewRow) const;
  // The text of a cell as the view shows it.
  QString text(int viewRow, int column) const;
  archive::Query& query() { return query_; }

 private:
  const sql::SqlValue* value(int viewRow, int column) const;

  archive::Query& query_;
  std::vector<ColumnSpec> columns_;
  std::vector<int> fieldOf_;  // query column of each column, -1 when absent
  std::vector<int> order_;    // empty: the query's order
};

// Compares two values as a list sorts them: numbers by value, text by
// its characters, nulls first.
bool lessForSort(const sql::SqlValue& a, const sql::SqlValue& b);

}  // namespace ui
