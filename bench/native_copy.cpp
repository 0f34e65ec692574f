#include "native_copy.h"

#include <filesystem>
#include <stdexcept>

#include "bench_archive.h"
#include "jet/database.h"
#include "sql/jet_module.h"
#include "sql/sql_connection.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

}  // namespace

void execNative(sqlite3* db, const std::string& statements) {
  char* err = nullptr;
  if (sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : "?";
    sqlite3_free(err);
    throw std::runtime_error(m);
  }
}

std::string nativeCopy(const std::string& jetFile) {
  fs::path target = fs::path(jetFile).replace_extension(".sqlite");
  if (fs::exists(target)) return target.string();
  fs::path partial = target;
  partial += ".partial";
  fs::remove(partial);

  // A UTF-8 database of its own (as native SQLite files usually are), filled
  // row by row from the bridge.
  sql::SqlConnection bridge(jetFile);
  sqlite3* out = nullptr;
  if (sqlite3_open(partial.c_str(), &out) != SQLITE_OK) throw std::runtime_error("cannot create " + partial.string());
  auto run = [&](const std::string& statements) { execNative(out, statements); };
  run("PRAGMA journal_mode=OFF; BEGIN");
  const jet::Database& db = bridge.database();
  for (const std::string& name : db.userTableNames()) {
    const jet::TableDef& def = db.table(name).def();
    std::string ddl = "CREATE TABLE " + sql::quoteIdentifier(name) + " (", marks;
    std::vector<const jet::Column*> cols = def.columnsByNumber();
    for (size_t i = 0; i < cols.size(); ++i) {
      ddl += (i ? ", " : "") + sql::quoteIdentifier(cols[i]->name) + " " + sql::sqlType(cols[i]->type);
      marks += i ? ",?" : "?";
    }
    run(ddl + ")");
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    sqlite3_prepare_v2(bridge.handle(), ("SELECT * FROM " + sql::quoteIdentifier(name)).c_str(), -1, &read, nullptr);
    sqlite3_prepare_v2(out, ("INSERT INTO " + sql::quoteIdentifier(name) + " VALUES (" + marks + ")").c_str(), -1, &write,
                       nullptr);
    while (sqlite3_step(read) == SQLITE_ROW) {
      for (int i = 0; i < static_cast<int>(cols.size()); ++i) sqlite3_bind_value(write, i + 1, sqlite3_column_value(read, i));
      sqlite3_step(write);
      sqlite3_reset(write);
    }
    sqlite3_finalize(read);
    sqlite3_finalize(write);
    int n = 0;
    for (const jet::RealIndex& ix : def.realIndexes) {
      std::string index = "CREATE " + std::string(ix.unique() ? "UNIQUE " : "") + "INDEX " +
                          sql::quoteIdentifier(name + "_ix" + std::to_string(n++)) + " ON " + sql::quoteIdentifier(name) + " (";
      for (size_t i = 0; i < ix.columns.size(); ++i)
        index += (i ? ", " : "") + sql::quoteIdentifier(def.columnByNumber(ix.columns[i].columnNumber)->name) +
                 (ix.columns[i].ascending ? "" : " DESC");
      run(index + ")");
    }
  }
  run("COMMIT");
  sqlite3_close(out);
  fs::rename(partial, target);
  return target.string();
}

const std::string& nativeLargeArchive() {
  static const std::string path = nativeCopy(largeArchive());
  return path;
}

}  // namespace bench
