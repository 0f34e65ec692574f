#include "catalog.h"

#include <optional>

#include "error.h"
#include "table.h"
#include "text_codec.h"

namespace jet {


const CatalogEntry* Catalog::find(const std::string& name) const {
  for (const CatalogEntry& e : entries)
    if (equalsIgnoreCase(e.name, name)) return &e;
  return nullptr;
}

Catalog readCatalog(const Pager& pager) {
  Table objects(pager, readTableDef(pager, kMSysObjectsPage, "MSysObjects"));
  const TableDef& def = objects.def();
  auto need = [&](const char* n) -> const Column& {
    const Column* c = def.columnByName(n);
    if (!c) failPage(pager.path(), kMSysObjectsPage, std::string("MSysObjects has no column ") + n);
    return *c;
  };
  const Column& id = need("Id");
  const Column& parentId = need("ParentId");
  const Column& name = need("Name");
  const Column& type = need("Type");
  const Column& flags = need("Flags");
  const Column* database = def.columnByName("Database");
  const Column* foreignName = def.columnByName("ForeignName");

  struct RawEntry {
    int64_t id, parent, type, flags;
    std::string name, database, foreign;
  };
  std::vector<RawEntry> raw;
  auto asInt = [](const Value& v) -> int64_t {
    if (auto p = std::get_if<int64_t>(&v)) return *p;
    return 0;
  };
  RowCursor c = objects.scan();
  while (c.next()) {
    RawEntry e{asInt(c.value(id)), asInt(c.value(parentId)), asInt(c.value(type)), asInt(c.value(flags)), {}, {}, {}};
    c.appendText(name, e.name);
    if (e.type == 6) {
      if (database) c.appendText(*database, e.database);
      if (foreignName) c.appendText(*foreignName, e.foreign);
    }
    raw.push_back(std::move(e));
  }

  std::optional<int64_t> tables;
  for (const RawEntry& e : raw)
    if (e.parent == kTopContainerId && e.name == "Tables") tables = e.id;
  if (!tables) failFile(pager.path(), "MSysObjects has no Tables container; the catalog is damaged");

  Catalog catalog;
  for (RawEntry& e : raw) {
    if (e.parent != *tables) continue;
    CatalogEntry out;
    out.name = std::move(e.name);
    out.id = static_cast<int32_t>(e.id);
    out.flags = static_cast<uint32_t>(e.flags);
    if (e.type == 1) {
      out.kind = CatalogEntry::Kind::Table;
    } else if (e.type == 6) {
      out.kind = CatalogEntry::Kind::LinkedTable;
      out.linkDatabase = std::move(e.database);
      out.linkTable = std::move(e.foreign);
    } else if (e.type == 4) {
      out.kind = CatalogEntry::Kind::OdbcLink;
    } else {
      continue;
    }
    catalog.entries.push_back(std::move(out));
  }
  return catalog;
}

}  // namespace jet
