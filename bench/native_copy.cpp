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

std::string nativeCopy(const std::string& jetFile) {
  fs::path target = fs::path(jetFile).replace_extension(".sqlite");
  if (fs::exists(target)) return target.string();
  fs::path partial = target;
  partial += ".partial";
  fs::remove(partial);

  sql::SqlConnection bridge(jetFile);
  bridge.execute("ATTACH DATABASE " + sql::quoteLiteral(partial.string()) + " AS native");
  bridge.execute("PRAGMA native.journal_mode=OFF");
  bridge.execute("BEGIN");
  const jet::Database& db = bridge.database();
  for (const std::string& name : db.userTableNames()) {
    const jet::TableDef& def = db.table(name).def();
    std::string ddl = "CREATE TABLE native." + sql::quoteIdentifier(name) + " (";
    std::vector<const jet::Column*> cols = def.columnsByNumber();
    for (size_t i = 0; i < cols.size(); ++i)
      ddl += (i ? ", " : "") + sql::quoteIdentifier(cols[i]->name) + " " + sql::sqlType(cols[i]->type);
    bridge.execute(ddl + ")");
    bridge.execute("INSERT INTO native." + sql::quoteIdentifier(name) + " SELECT * FROM main." + sql::quoteIdentifier(name));
    int n = 0;
    for (const jet::RealIndex& ix : def.realIndexes) {
      std::string index = "CREATE " + std::string(ix.unique() ? "UNIQUE " : "") + "INDEX native." +
                          sql::quoteIdentifier(name + "_ix" + std::to_string(n++)) + " ON " + sql::quoteIdentifier(name) + " (";
      for (size_t i = 0; i < ix.columns.size(); ++i)
        index += (i ? ", " : "") + sql::quoteIdentifier(def.columnByNumber(ix.columns[i].columnNumber)->name) +
                 (ix.columns[i].ascending ? "" : " DESC");
      bridge.execute(index + ")");
    }
  }
  bridge.execute("COMMIT");
  bridge.execute("DETACH DATABASE native");
  fs::rename(partial, target);
  return target.string();
}

const std::string& nativeLargeArchive() {
  static const std::string path = nativeCopy(largeArchive());
  return path;
}

}  // namespace bench
