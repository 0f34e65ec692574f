// The system catalog, MSysObjects (tdef at page 2): which tables exist,
// where their definitions are, and which are links to other databases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pager.h"

namespace jet {

constexpr uint32_t kMSysObjectsPage = 2;
constexpr int32_t kTopContainerId = 0x0F000000;

struct CatalogEntry {
  enum class Kind { Table, LinkedTable, OdbcLink };
  Kind kind = Kind::Table;
  std::string name;
  int32_t id = 0;          // tdef page for local tables
  uint32_t flags = 0;
  std::string linkDatabase;  // Jet links: path of the other file
  std::string linkTable;     // Jet links: table name there

  bool isSystem() const { return (flags & 0x80000000u) || (flags & 0x00000002u); }
};

struct Catalog {
  std::vector<CatalogEntry> entries;  // tables and links under the Tables container

  // Case-insensitive lookup; nullptr when absent.
  const CatalogEntry* find(const std::string& name) const;
};

Catalog readCatalog(const Pager& pager);

}  // namespace jet
