// A SQLite connection over one Jet file: every user table of the file, every
// linked table stored in it and every link attached to it at run time (the
// process-wide LinkRegistry) is a virtual table of the module "jet" under
// its own name. LIKE and the JETTEXT collation follow Jet: letters compare
// without regard to case in every alphabet.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "sql_value.h"

namespace sql {

// Raised for every failure; the message is SQLite's or the Jet engine's.
class SqlError : public std::runtime_error {
 public:
  explicit SqlError(const std::string& m) : std::runtime_error(m) {}
};

struct ResultSet {
  std::vector<std::string> columns;
  std::vector<std::vector<SqlValue>> rows;
  int64_t changes = 0;  // rows changed by a statement that returns none
  bool returnsRows = false;
};

// The text encoding of a connection's database: text is fetched in it, so
// SQLite converts nothing.
enum class TextEncoding { Utf8, Utf16le };

// Runs one statement on any SQLite connection and fetches all its rows.
ResultSet runStatement(sqlite3* db, const std::string& statement, TextEncoding encoding = TextEncoding::Utf8);

class SqlConnection {
 public:
  // Opens `path` (raising SqlError with the engine's message) and declares
  // its tables.
  explicit SqlConnection(const std::string& path);
  ~SqlConnection();
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;

  // Runs one statement and fetches all its rows.
  ResultSet execute(const std::string& statement);

  // Attaches table `remoteTable` of `databaseFile` to this archive as
  // `name`: visible here at once and in every connection opened on the
  // archive afterwards; nothing is written to the file.
  void attachLink(const std::string& name, const std::string& databaseFile, const std::string& remoteTable);

  sqlite3* handle() const { return db_; }
  const jet::Database& database() const { return *database_; }
  jet::Database& database() { return *database_; }
  // The real path of the archive (links are keyed by it).
  const std::string& realPath() const { return realPath_; }

  // Rows the virtual tables have read (loaded from pages) so far.
  uint64_t rowsRead() const { return rowsRead_; }
  void countRowRead() { ++rowsRead_; }

  // Used by the module.
  jet::Database& linkedDatabase(const std::string& file);
  void forgetLink(const std::string& name);

 private:
  static int authorize(void* self, int action, const char* a, const char* b, const char*, const char*);
  std::string resolveLinkPath(const std::string& file) const;
  void declare(const std::string& ddl);

  std::unique_ptr<jet::Database> database_;
  std::string realPath_;
  std::map<std::string, std::unique_ptr<jet::Database>> linked_;
  sqlite3* db_ = nullptr;
  uint64_t rowsRead_ = 0;
  std::string refusal_;  // why the authorizer refused the statement being prepared
};

}  // namespace sql
