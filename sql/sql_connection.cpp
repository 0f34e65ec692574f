#include "sql_connection.h"

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "jet/error.h"
#include "jet/text_codec.h"
#include "jet_module.h"
#include "link_registry.h"
#include "sql_functions.h"

namespace sql {

namespace fs = std::filesystem;

namespace {

std::string realPathOf(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path), ec);
  return ec ? path : p.string();
}

SqlValue columnValue(sqlite3_stmt* st, int i, bool utf16) {
  SqlValue v;
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
      v.type = SqlValue::Type::Integer;
      v.integer = sqlite3_column_int64(st, i);
      break;
    case SQLITE_FLOAT:
      v.type = SqlValue::Type::Real;
      v.real = sqlite3_column_double(st, i);
      break;
    case SQLITE_TEXT: {
      v.type = SqlValue::Type::Text;
      if (utf16) {
        // Fetched in the connection's own encoding and converted straight
        // into the result: SQLite's conversion to UTF-8 copies every value first.
        const void* t = sqlite3_column_text16(st, i);
        if (t) jet::utf16leToUtf8(static_cast<const uint8_t*>(t), static_cast<size_t>(sqlite3_column_bytes16(st, i)), v.bytes);
        break;
      }
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      v.bytes.assign(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(st, i)));
      break;
    }
    case SQLITE_BLOB: {
      v.type = SqlValue::Type::Blob;
      const char* b = static_cast<const char*>(sqlite3_column_blob(st, i));
      v.bytes.assign(b ? b : "", static_cast<size_t>(sqlite3_column_bytes(st, i)));
      break;
    }
    default: break;
  }
  return v;
}

}  // namespace

ResultSet runStatement(sqlite3* db, const std::string& statement, TextEncoding encoding) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, statement.c_str(), static_cast<int>(statement.size()), &st, &tail) != SQLITE_OK)
    throw SqlError(sqlite3_errmsg(db));
  if (!st) throw SqlError("the statement is empty");
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(st, sqlite3_finalize);
  for (const char* t = tail; t && *t; ++t)
    if (!isspace(static_cast<unsigned char>(*t)) && *t != ';') throw SqlError("only one statement can run at a time");

  ResultSet out;
  int n = sqlite3_column_count(st);
  out.returnsRows = n > 0;
  for (int i = 0; i < n; ++i) out.columns.push_back(sqlite3_column_name(st, i));
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<SqlValue> row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(columnValue(st, i, encoding == TextEncoding::Utf16le));
    out.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) throw SqlError(sqlite3_errmsg(db));
  out.changes = sqlite3_changes64(db);
  return out;
}

SqlConnection::SqlConnection(const std::string& path) {
  try {
    database_ = std::make_unique<jet::Database>(path);
  } catch (const jet::Error& e) {
    throw SqlError(e.what());
  }
  realPath_ = realPathOf(path);
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    std::string m = db_ ? sqlite3_errmsg(db_) : "cannot start SQLite";
    sqlite3_close(db_);
    throw SqlError(m);
  }
  // Jet's text is UTF-16: kept in that encoding, a value goes from the
  // table to LIKE and back without two conversions per row.
  sqlite3_exec(db_, "PRAGMA encoding = 'UTF-16le'", nullptr, nullptr, nullptr);
  registerJetFunctions(db_);
  registerJetModule(db_, this);
  sqlite3_set_authorizer(db_, authorize, this);
  try {
    for (const jet::CatalogEntry& e : database_->catalog().entries) {
      if (e.isSystem()) continue;
      if (e.kind == jet::CatalogEntry::Kind::Table)
        declare(declareLocalTable(e.name));
      else if (e.kind == jet::CatalogEntry::Kind::LinkedTable)
        declare(declareLinkedTable(e.name, e.linkDatabase, e.linkTable, false));
    }
    for (const Link& link : LinkRegistry::instance().links(realPath_))
      declare(declareLinkedTable(link.name, link.database, link.remoteTable, true));
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

SqlConnection::~SqlConnection() { sqlite3_close(db_); }

// Only links attached at run time can be dropped; refusing here, while the
// statement is prepared, gives the user a message that says why.
int SqlConnection::authorize(void* self, int action, const char* table, const char*, const char*, const char*) {
  auto* c = static_cast<SqlConnection*>(self);
  if (action != SQLITE_DROP_VTABLE || !table) return SQLITE_OK;
  for (const Link& link : LinkRegistry::instance().links(c->realPath_))
    if (jet::equalsIgnoreCase(link.name, table)) return SQLITE_OK;
  const jet::CatalogEntry* e = c->database_->catalog().find(table);
  c->refusal_ = e && e->kind == jet::CatalogEntry::Kind::LinkedTable
                    ? "linked table '" + std::string(table) + "' is stored in the database file and cannot be dropped"
                    : "table '" + std::string(table) + "' cannot be dropped: the engine does not drop tables";
  return SQLITE_DENY;
}

void SqlConnection::declare(const std::string& ddl) {
  char* err = nullptr;
  if (sqlite3_exec(db_, ddl.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    throw SqlError(m);
  }
}

ResultSet SqlConnection::execute(const std::string& statement) {
  refusal_.clear();
  try {
    return runStatement(db_, statement, TextEncoding::Utf16le);
  } catch (const SqlError&) {
    if (!refusal_.empty()) throw SqlError(refusal_);
    throw;
  }
}

void SqlConnection::attachLink(const std::string& name, const std::string& file, const std::string& remoteTable) {
  Link link{name, file, remoteTable};
  if (!LinkRegistry::instance().add(realPath_, link)) throw SqlError("table '" + name + "' already exists");
  try {
    declare(declareLinkedTable(name, file, remoteTable, true));
  } catch (...) {
    LinkRegistry::instance().remove(realPath_, name);
    throw;
  }
}

void SqlConnection::forgetLink(const std::string& name) { LinkRegistry::instance().remove(realPath_, name); }

// A link names its file as the linking machine saw it: try it as written,
// then (with backslashes read as separators) relative to the archive's
// folder, then its bare file name in the archive's folder.
std::string SqlConnection::resolveLinkPath(const std::string& file) const {
  std::string unix = file;
  for (char& c : unix)
    if (c == '\\') c = '/';
  fs::path folder = fs::path(realPath_).parent_path();
  for (const fs::path& candidate : {fs::path(file), fs::path(unix), folder / unix, folder / fs::path(unix).filename()}) {
    std::error_code ec;
    if (!candidate.empty() && fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return file;
}

jet::Database& SqlConnection::linkedDatabase(const std::string& file) {
  std::string path = resolveLinkPath(file);
  auto it = linked_.find(path);
  if (it != linked_.end()) return *it->second;
  auto db = std::make_unique<jet::Database>(path);
  return *linked_.emplace(path, std::move(db)).first->second;
}

}  // namespace sql
