#include "query.h"

#include "connection.h"
#include "engine_error.h"
#include "jet/text_codec.h"

namespace archive {

void StringList::Clear() {
  lines_.clear();
  owner_->linesChanged();
}

void StringList::Add(const std::string& line) {
  lines_.push_back(line);
  owner_->linesChanged();
}

void StringList::SetText(const std::string& text) {
  lines_.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines_.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines_.push_back(text.substr(start));
  owner_->linesChanged();
}

std::string StringList::Text() const {
  std::string s;
  for (const std::string& l : lines_) s += l + "\r\n";
  return s;
}

Query::Query(Connection* connection) { SetConnection(connection); }

Query::~Query() {
  if (connection_) connection_->detach(this);
}

void Query::SetConnection(Connection* connection) {
  if (connection_) connection_->detach(this);
  Close();
  connection_ = connection;
  if (connection_) connection_->attach(this);
}

void Query::Open() {
  if (active_) return;
  if (!connection_) throw EngineError("the query has no connection");
  sql::ResultSet result;
  try {
    result = connection_->engine().execute(sql_.Text());
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError(e.what());
  }
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  current_ = 0;
  active_ = true;
}

void Query::Close() {
  active_ = false;
  columns_.clear();
  rows_.clear();
  current_ = 0;
}

void Query::ExecSQL() {
  if (!connection_) throw EngineError("the query has no connection");
  try {
    connection_->engine().execute(sql_.Text());
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError(e.what());
  }
}

void Query::First() { current_ = 0; }
void Query::Next() {
  if (current_ < rows_.size()) ++current_;
}
bool Query::Eof() const { return current_ >= rows_.size(); }

void Query::moveTo(int row) {
  if (row >= 0 && static_cast<size_t>(row) < rows_.size()) current_ = static_cast<size_t>(row);
}

int Query::columnIndex(const std::string& name) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (jet::equalsIgnoreCase(columns_[i], name)) return static_cast<int>(i);
  return -1;
}

Field Query::FieldByName(const std::string& name) const {
  int i = columnIndex(name);
  if (i < 0) throw EngineError("field '" + name + "' not found");
  return Field(current_ < rows_.size() ? &rows_[current_][static_cast<size_t>(i)] : nullptr);
}

}  // namespace archive
