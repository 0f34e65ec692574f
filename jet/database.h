// A Jet 4 database opened for reading: header, catalog, and tables whose
// definitions are read on first use (opening never reads table rows).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "header.h"
#include "pager.h"
#include "table.h"
#include "table_writer.h"

namespace jet {

class Database {
 public:
  enum class Mode { ReadWrite, ReadOnly };
  // Opens `path`; raises jet::Error naming the file and the fault.
  explicit Database(const std::string& path, Mode mode = Mode::ReadWrite);
  // Opens a file that has no catalog yet (only while creating one).
  struct Bootstrap {};
  Database(const std::string& path, Bootstrap);

  const std::string& path() const { return pager_.path(); }
  const Pager& pager() const { return pager_; }
  Pager& pager() { return pager_; }
  const Header& header() const { return header_; }
  const Catalog& catalog() const { return catalog_; }

  // Names of the user tables (local and linked, no system tables), in
  // catalog order.
  std::vector<std::string> userTableNames() const;

  // The local table named `name` (case-insensitive). Raises when it does
  // not exist or is a link. The Table lives as long as the Database.
  const Table& table(const std::string& name) const;
  // A local table by catalog entry (system tables included).
  const Table& table(const CatalogEntry& entry) const;

  // Writing. Every change runs in a transaction: the one begin() opened,
  // or one of its own that commits at once.
  void begin() { pager_.begin(); }
  void commit() { pager_.commit(); }
  void rollback() { pager_.rollback(); }
  bool inTransaction() const { return pager_.inTransaction(); }
  // Schema changes (schema.h) read the catalog again and forget dropped
  // tables (their Table objects stay alive for whoever still holds them).
  void reloadCatalog();
  void forgetTable(int32_t id);
  IndexNodeCache& indexCache() { return indexCache_; }
  const Table& bootstrapTable(uint32_t tdefPage, const std::string& name);

  // SQL savepoints: level n of the open transaction.
  void savepointAt(size_t level);
  void rollbackToSavepoint(size_t level) { pager_.rollbackTo(level); }
  void releaseSavepoint(size_t level) { pager_.release(level); }
  RowPointer insertRow(const Table& table, RowValues values);
  void deleteRow(const Table& table, RowPointer row);

 private:
  template <typename F>
  auto runChange(F&& change);

  Pager pager_;
  Header header_;
  Catalog catalog_;
  mutable std::map<int32_t, std::unique_ptr<Table>> tables_;
  std::vector<std::unique_ptr<Table>> dropped_;
  IndexNodeCache indexCache_;
  TableWriter::InsertHints insertHints_;
  uint64_t hintsEpoch_ = 0;
};

}  // namespace jet
