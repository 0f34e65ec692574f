#include "database.h"

#include "error.h"

namespace jet {

Database::Database(const std::string& path, Mode mode)
    : pager_(path, mode == Mode::ReadOnly), header_(readHeader(pager_)), catalog_(readCatalog(pager_)) {
  pager_.setFlushHook([this] { indexCache_.flush(pager_); });
}

Database::Database(const std::string& path, Bootstrap) : pager_(path), header_(readHeader(pager_)) {
  pager_.setFlushHook([this] { indexCache_.flush(pager_); });
}

void Database::reloadCatalog() { catalog_ = readCatalog(pager_); }

void Database::forgetTable(int32_t id) {
  auto it = tables_.find(id);
  if (it == tables_.end()) return;
  dropped_.push_back(std::move(it->second));
  tables_.erase(it);
}

const Table& Database::bootstrapTable(uint32_t tdefPage, const std::string& name) {
  auto it = tables_.find(static_cast<int32_t>(tdefPage));
  if (it != tables_.end()) return *it->second;
  auto t = std::make_unique<Table>(pager_, readTableDef(pager_, tdefPage, name));
  return *tables_.emplace(static_cast<int32_t>(tdefPage), std::move(t)).first->second;
}

std::vector<std::string> Database::userTableNames() const {
  std::vector<std::string> out;
  for (const CatalogEntry& e : catalog_.entries)
    if (!e.isSystem()) out.push_back(e.name);
  return out;
}

const Table& Database::table(const std::string& name) const {
  const CatalogEntry* e = catalog_.find(name);
  if (!e) failFile(path(), "table '" + name + "' does not exist");
  if (e->kind != CatalogEntry::Kind::Table)
    failFile(path(), "table '" + name + "' is a link to '" + e->linkTable + "' in " + e->linkDatabase +
                         ", not a local table");
  return table(*e);
}

const Table& Database::table(const CatalogEntry& e) const {
  auto it = tables_.find(e.id);
  if (it != tables_.end()) return *it->second;
  if (e.id <= 0 || !pager_.contains(static_cast<uint32_t>(e.id)))
    failFile(path(), "table '" + e.name + "' names definition page " + std::to_string(e.id) +
                         ", which is not in the file");
  auto t = std::make_unique<Table>(pager_, readTableDef(pager_, static_cast<uint32_t>(e.id), e.name));
  return *tables_.emplace(e.id, std::move(t)).first->second;
}

template <typename F>
auto Database::runChange(F&& change) {
  if (pager_.inTransaction()) return change();
  pager_.begin();
  try {
    auto result = change();
    pager_.commit();
    return result;
  } catch (...) {
    pager_.rollback();
    throw;
  }
}

void Database::savepointAt(size_t level) {
  if (!pager_.inTransaction()) return;
  while (pager_.savepointCount() <= level) pager_.savepoint();
}

RowPointer Database::insertRow(const Table& table, RowValues values) {
  // Hints name pages of this transaction's past; after a rollback they may not hold.
  if (hintsEpoch_ != pager_.epoch()) {
    insertHints_.clear();
    hintsEpoch_ = pager_.epoch();
  }
  return runChange([&] {
    indexCache_.trim(pager_);
    return TableWriter(pager_, table, header_.sortOrder, indexCache_, insertHints_).insert(std::move(values));
  });
}

void Database::deleteRow(const Table& table, RowPointer row) {
  runChange([&] {
    indexCache_.trim(pager_);
    TableWriter(pager_, table, header_.sortOrder, indexCache_, insertHints_).remove(row);
    return 0;
  });
}

}  // namespace jet
