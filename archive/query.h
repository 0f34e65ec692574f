// A query on a connection (TADOQuery): SQL as a list of lines, a static
// cursor over all its rows, fields by name.
//
// The statement is the lines in order, each followed by CR LF. Changing the
// lines closes the query. Open runs the statement and fetches every row,
// the first row current; Open on an open query does nothing. FieldByName
// matches names without regard to case; AsString gives "" for null,
// integers in decimal, reals in the shortest form that reads back the same,
// and text as stored (dates are text "YYYY-MM-DD HH:MM:SS").
#pragma once

#include <string>
#include <vector>

#include "sql/sql_value.h"

namespace archive {

class Connection;
class Query;

class StringList {
 public:
  explicit StringList(Query* owner) : owner_(owner) {}
  void Clear();
  void Add(const std::string& line);
  // Replaces the lines, split at line breaks (CR LF, LF or CR).
  void SetText(const std::string& text);
  // The lines, each followed by CR LF.
  std::string Text() const;
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  Query* owner_;
  std::vector<std::string> lines_;
};

class Field {
 public:
  explicit Field(const sql::SqlValue* value) : value_(value) {}
  std::string AsString() const { return value_ ? value_->asString() : std::string(); }
  bool IsNull() const { return !value_ || value_->isNull(); }

 private:
  const sql::SqlValue* value_;
};

class Query {
 public:
  explicit Query(Connection* connection = nullptr);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  void SetConnection(Connection* connection);
  Connection* GetConnection() const { return connection_; }
  StringList& SQL() { return sql_; }
  const StringList& SQL() const { return sql_; }

  void Open();
  void Close();
  bool Active() const { return active_; }
  void ExecSQL();

  void First();
  void Next();
  bool Eof() const;
  // The position of the column with this name (letter case ignored), or -1.
  int columnIndex(const std::string& name) const;
  // The current row's field; raises EngineError when no column has the name.
  Field FieldByName(const std::string& name) const;

  int RecordCount() const { return static_cast<int>(rows_.size()); }
  int RecNo() const { return static_cast<int>(current_); }
  const std::vector<std::string>& columns() const { return columns_; }
  const std::vector<std::vector<sql::SqlValue>>& rows() const { return rows_; }
  // Makes row i current (the grid does this on a click).
  void moveTo(int row);

  // Called by StringList and Connection.
  void linesChanged() { Close(); }
  void connectionGone() { connection_ = nullptr; }

 private:
  Connection* connection_ = nullptr;
  StringList sql_{this};
  bool active_ = false;
  std::vector<std::string> columns_;
  std::vector<std::vector<sql::SqlValue>> rows_;
  size_t current_ = 0;
};

}  // namespace archive
