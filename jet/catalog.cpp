#include "catalog.h"

#include <optional>

#include "error.h"
#include "table.h"
#include "text_codec.h"

namespace jet {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  // Names compare without regard to case; non-ASCII letters are folded
  // through UTF-16 so that Cyrillic or Greek names match too.
  if (a.size() == b.size()) {
    bool ascii = true, equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 0x80 || y >= 0x80) { ascii = false; break; }
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
      if (x != y) equal = false;
    }
    if (ascii) return equal;
  }
  std::u16string x = utf8ToUtf16(a), y = utf8ToUtf16(b);
  if (x.size() != y.size()) return false;
  auto fold = [](char16_t c) -> char16_t {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
  };
  for (size_t i = 0; i < x.size(); ++i)
    if (fold(x[i]) != fold(y[i])) return false;
  return true;
}

}  // namespace

const CatalogEntry* Catalog::find(const std::string& name) const {
  for (const CatalogEntry& e : entries)
    if (sameName(e.name, name)) return &e;
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
