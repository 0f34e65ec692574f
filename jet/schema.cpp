#include "schema.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>

#include "data_page.h"
#include "database.h"
#include "error.h"
#include "header.h"
#include "index_page.h"
#include "page_alloc.h"
#include "text_codec.h"
#include "usage_map.h"

namespace jet {

namespace {

constexpr size_t kMapRow = 69;  // 5 + 64 bytes: an inline map of 512 pages, or 17 reference slots
constexpr int32_t kTablesId = 0x0F000001;
constexpr uint32_t kSystemFlags = 0x80000000u;

bool isFixedType(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Guid:
    case ColumnType::Decimal: return true;
    default: return false;
  }
}

uint16_t fixedLength(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean:
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long:
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Decimal: return 17;
    default: return 0;
  }
}

double now() {
  using namespace std::chrono;
  double seconds = static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count()) / 1000.0;
  return std::floor(seconds) / 86400.0 + 25569.0;
}

struct Bytes8 {
  std::vector<uint8_t> b;
  void u8(uint8_t v) { b.push_back(v); }
  void u16(uint16_t v) { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); }
  void u32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); }
  void ptr(RowPointer p) { u8(p.row); u8(static_cast<uint8_t>(p.page)); u8(static_cast<uint8_t>(p.page >> 8)); u8(static_cast<uint8_t>(p.page >> 16)); }
  void name(const std::string& s) {
    std::u16string u = utf8ToUtf16(s);
    u16(static_cast<uint16_t>(u.size() * 2));
    for (char16_t c : u) u16(static_cast<uint16_t>(c));
  }
  void zeros(size_t n) { b.insert(b.end(), n, 0); }
};

void checkSpec(const Database& db, const TableSpec& spec) {
  auto bad = [&](const std::string& what) { throw Error("cannot create table '" + spec.name + "': " + what); };
  if (spec.name.empty() || utf8ToUtf16(spec.name).size() > 64) bad("a table name has 1 to 64 characters");
  if (db.catalog().find(spec.name)) bad("a table of that name exists");
  if (spec.columns.empty()) bad("a table needs a column");
  if (spec.columns.size() > 255) bad("a table has at most 255 columns");
  std::vector<std::string> seen;
  for (const ColumnSpec& c : spec.columns) {
    if (c.name.empty() || utf8ToUtf16(c.name).size() > 64) bad("a column name has 1 to 64 characters");
    for (const std::string& s : seen)
      if (equalsIgnoreCase(s, c.name)) bad("two columns are named '" + c.name + "'");
    seen.push_back(c.name);
    if (c.type == ColumnType::Text && (c.length < 1 || c.length > 255)) bad("text column '" + c.name + "' needs a length of 1 to 255");
    if (c.type == ColumnType::Binary && (c.length < 1 || c.length > 255)) bad("binary column '" + c.name + "' needs a length of 1 to 255");
    if (c.autoNumber && c.type != ColumnType::Long && c.type != ColumnType::Guid) bad("only Long and GUID columns can be autonumbers");
  }
  if (spec.indexes.size() > 32) bad("a table has at most 32 indexes");
  for (const IndexSpec& ix : spec.indexes) {
    if (ix.columns.empty() || ix.columns.size() > 10) bad("index '" + ix.name + "' needs 1 to 10 columns");
    for (const auto& indexColumn : ix.columns) {
      const std::string& name = indexColumn.first;
      auto it = std::find_if(spec.columns.begin(), spec.columns.end(), [&](const ColumnSpec& c) { return equalsIgnoreCase(c.name, name); });
      if (it == spec.columns.end()) bad("index '" + ix.name + "' names missing column '" + name + "'");
      if (it->type == ColumnType::Ole || it->type == ColumnType::Memo) bad("index '" + ix.name + "' cannot hold a long-value column");
    }
  }
}

void writeMapRow(Pager& pager, uint32_t holder, bool reference, uint32_t start, int64_t bit) {
  uint8_t row[kMapRow] = {};
  row[0] = reference ? 1 : 0;
  if (!reference) {
    put32(row + 1, start);
    if (bit >= 0) row[5 + bit / 8] = static_cast<uint8_t>(1u << (bit % 8));
  }
  addRow(pager, holder, row, sizeof row);
}

// Writes the definition of a new table; returns its first page.
uint32_t writeDefinition(Pager& pager, const TableSpec& spec) {
  uint32_t tdef = allocatePage(pager);
  uint32_t holder = allocatePage(pager);
  initDataPage(pager.change(holder), 0);
  std::vector<uint32_t> roots;
  for (size_t i = 0; i < spec.indexes.size(); ++i) {
    uint32_t root = allocatePage(pager);
    uint8_t* p = pager.change(root);
    p[0] = kPageIndexLeaf;
    p[1] = 0x01;
    put16(p + 2, static_cast<uint16_t>(kPageSize - kIndexEntriesStart));
    put32(p + 4, tdef);
    roots.push_back(root);
  }
  // Holder rows: owned pages, free space, one per index, two per long value.
  writeMapRow(pager, holder, true, 0, -1);
  writeMapRow(pager, holder, false, 0, -1);
  for (uint32_t root : roots) writeMapRow(pager, holder, false, root / 8 * 8, root % 8);
  uint8_t nextRow = static_cast<uint8_t>(2 + roots.size());
  std::vector<std::pair<uint16_t, uint8_t>> lvMaps;  // column number, first of its two rows
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    if (!isLongValue(spec.columns[i].type)) continue;
    writeMapRow(pager, holder, false, 0, -1);
    writeMapRow(pager, holder, false, 0, -1);
    lvMaps.emplace_back(static_cast<uint16_t>(i), nextRow);
    nextRow = static_cast<uint8_t>(nextRow + 2);
  }

  // Column positions.
  uint16_t fixedOffset = 0, varIndex = 0;
  std::vector<uint16_t> offsets(spec.columns.size()), vars(spec.columns.size());
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    const ColumnSpec& c = spec.columns[i];
    if (c.type == ColumnType::Boolean) continue;
    if (isFixedType(c.type)) {
      offsets[i] = fixedOffset;
      fixedOffset = static_cast<uint16_t>(fixedOffset + fixedLength(c.type));
    } else {
      vars[i] = varIndex++;
    }
  }

  Bytes8 t;
  t.zeros(63);
  t.b[0] = kPageTdef;
  t.b[1] = 0x01;
  put32(t.b.data() + 12, 0x659);
  t.b[24] = 0x01;
  t.b[40] = spec.system ? 0x53 : 0x4E;
  put16(t.b.data() + 41, static_cast<uint16_t>(spec.columns.size()));
  put16(t.b.data() + 43, varIndex);
  put16(t.b.data() + 45, static_cast<uint16_t>(spec.columns.size()));
  put32(t.b.data() + 47, static_cast<uint32_t>(spec.indexes.size()));
  put32(t.b.data() + 51, static_cast<uint32_t>(spec.indexes.size()));
  RowPointer{holder, 0}.toLe(t.b.data() + 55);
  RowPointer{holder, 1}.toLe(t.b.data() + 59);
  t.zeros(12 * spec.indexes.size());
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    const ColumnSpec& c = spec.columns[i];
    bool fixed = isFixedType(c.type);
    bool text = c.type == ColumnType::Text || c.type == ColumnType::Memo;
    t.u8(static_cast<uint8_t>(c.type));
    t.u32(0x659);
    t.u16(static_cast<uint16_t>(i));
    t.u16(fixed ? 0 : vars[i]);
    t.u16(static_cast<uint16_t>(i));
    if (text) {
      t.u16(1033);
      t.u8(0);
      t.u8(0);
    } else if (c.type == ColumnType::Decimal) {
      t.u8(c.precision);
      t.u8(c.scale);
      t.u16(0);
    } else {
      t.u32(0);
    }
    uint8_t flags = static_cast<uint8_t>((fixed ? kColumnFixed : 0) | 0x02 | (spec.system ? 0x10 : 0));
    if (c.autoNumber) flags = static_cast<uint8_t>(flags | (c.type == ColumnType::Guid ? kColumnAutoGuid : kColumnAutoLong));
    t.u8(flags);
    t.u8(text && c.compressed ? kColumnCompressed : 0);
    t.u32(0);
    t.u16(fixed ? offsets[i] : 0);
    uint16_t length = c.type == ColumnType::Text ? static_cast<uint16_t>(c.length * 2)
                      : c.type == ColumnType::Binary ? c.length
                      : fixedLength(c.type);
    t.u16(length);
  }
  for (const ColumnSpec& c : spec.columns) t.name(c.name);
  for (size_t i = 0; i < spec.indexes.size(); ++i) {
    const IndexSpec& ix = spec.indexes[i];
    t.u32(0x783);
    for (size_t k = 0; k < 10; ++k) {
      if (k < ix.columns.size()) {
        auto it = std::find_if(spec.columns.begin(), spec.columns.end(),
                               [&](const ColumnSpec& c) { return equalsIgnoreCase(c.name, ix.columns[k].first); });
        t.u16(static_cast<uint16_t>(it - spec.columns.begin()));
        t.u8(ix.columns[k].second ? 1 : 0);
      } else {
        t.u16(0xFFFF);
        t.u8(0);
      }
    }
    t.ptr(RowPointer{holder, static_cast<uint8_t>(2 + i)});
    t.u32(roots[i]);
    t.u32(0);
    uint8_t flags = 0x80;
    if (ix.unique || ix.primary) flags |= kIndexUnique;
    if (ix.ignoreNulls) flags |= kIndexIgnoreNulls;
    if (ix.primary) flags |= kIndexRequired;
    t.u8(flags);
    t.zeros(5);
  }
  for (size_t i = 0; i < spec.indexes.size(); ++i) {
    t.u32(0x659);
    t.u32(static_cast<uint32_t>(i));
    t.u32(static_cast<uint32_t>(i));
    t.u8(0);
    t.u32(0xFFFFFFFFu);
    t.u32(0);
    t.u8(0);
    t.u8(0);
    t.u8(spec.indexes[i].primary ? 1 : 0);
    t.u32(0);
  }
  for (const IndexSpec& ix : spec.indexes) t.name(ix.name);
  for (const auto& [column, row] : lvMaps) {
    t.u16(column);
    t.ptr(RowPointer{holder, row});
    t.ptr(RowPointer{holder, static_cast<uint8_t>(row + 1)});
  }
  t.u16(0xFFFF);
  put32(t.b.data() + 8, static_cast<uint32_t>(t.b.size()));

  // Spread over as many pages as it needs: the first holds bytes 0..4095,
  // each continuation page 4088 more after its own 8-byte header.
  size_t at = 0;
  uint32_t page = tdef;
  for (;;) {
    uint8_t* p = pager.change(page);
    std::memset(p, 0, kPageSize);
    size_t header = page == tdef ? 0 : 8;
    size_t take = std::min(t.b.size() - at, kPageSize - header);
    std::memcpy(p + header, t.b.data() + at, take);
    p[0] = kPageTdef;
    p[1] = 0x01;
    at += take;
    put16(p + 2, static_cast<uint16_t>(kPageSize - header - take));
    if (at >= t.b.size()) {
      put32(p + 4, 0);
      break;
    }
    uint32_t next = allocatePage(pager);
    p = pager.change(page);
    put32(p + 4, next);
    page = next;
  }
  return tdef;
}

Value columnValue(const std::string& name, int64_t id, int32_t parent, int16_t type, uint32_t flags, double date) {
  if (name == "Id") return int64_t{id};
  if (name == "ParentId") return int64_t{parent};
  if (name == "Type") return int64_t{type};
  if (name == "Flags") return int64_t{static_cast<int32_t>(flags)};
  if (name == "DateCreate" || name == "DateUpdate") return DateTime{date};
  if (name == "Owner") return Bytes{0xA6, 0x33};
  return std::monostate{};
}

void addCatalogRow(Database& db, const Table& objects, const std::string& name, int64_t id, int32_t parent, int16_t type,
                   uint32_t flags) {
  RowValues values;
  double date = now();
  for (const Column& c : objects.def().columns)
    values.push_back(c.name == "Name" ? Value{name} : columnValue(c.name, id, parent, type, flags, date));
  db.insertRow(objects, std::move(values));
}

const Table& catalogTable(Database& db) {
  const CatalogEntry* e = db.catalog().find("MSysObjects");
  if (e) return db.table(*e);
  return db.bootstrapTable(kMSysObjectsPage, "MSysObjects");
}

TableSpec systemObjects() {
  TableSpec s{"MSysObjects", {}, {}, true};
  auto col = [&](const char* n, ColumnType t, uint16_t len = 0) { s.columns.push_back(ColumnSpec{n, t, len, false, false}); };
  col("Id", ColumnType::Long);
  col("ParentId", ColumnType::Long);
  col("Name", ColumnType::Text, 255);
  col("Type", ColumnType::Integer);
  col("DateCreate", ColumnType::DateTime);
  col("DateUpdate", ColumnType::DateTime);
  col("Owner", ColumnType::Binary, 255);
  col("Flags", ColumnType::Long);
  col("Database", ColumnType::Memo);
  col("Connect", ColumnType::Memo);
  col("ForeignName", ColumnType::Text, 255);
  col("RmtInfoShort", ColumnType::Binary, 255);
  col("RmtInfoLong", ColumnType::Ole);
  col("Lv", ColumnType::Ole);
  col("LvProp", ColumnType::Ole);
  col("LvModule", ColumnType::Ole);
  col("LvExtra", ColumnType::Ole);
  s.indexes.push_back(IndexSpec{"ParentIdName", {{"ParentId", true}, {"Name", true}}, false, true, false});
  s.indexes.push_back(IndexSpec{"Id", {{"Id", true}}, true, true, false});
  return s;
}

std::vector<TableSpec> otherSystemTables() {
  auto c = [](const char* n, ColumnType t, uint16_t len = 0) { return ColumnSpec{n, t, len, false, false}; };
  TableSpec aces{"MSysACEs",
                 {c("ObjectId", ColumnType::Long), c("SID", ColumnType::Binary, 255), c("ACM", ColumnType::Long),
                  c("FInheritable", ColumnType::Boolean)},
                 {IndexSpec{"ObjectId", {{"ObjectId", true}}, false, false, false}},
                 true};
  TableSpec queries{"MSysQueries",
                    {c("ObjectId", ColumnType::Long), c("Attribute", ColumnType::Byte), c("Order", ColumnType::Binary, 255),
                     c("Name1", ColumnType::Text, 255), c("Name2", ColumnType::Text, 255), c("Expression", ColumnType::Memo),
                     c("Flag", ColumnType::Integer), c("LvExtra", ColumnType::Long)},
                    {IndexSpec{"ObjectIdAttribute", {{"ObjectId", true}, {"Attribute", true}, {"Order", true}}, true, true, false}},
                    true};
  TableSpec relationships{"MSysRelationships",
                          {c("szRelationship", ColumnType::Text, 255), c("grbit", ColumnType::Long),
                           c("ccolumn", ColumnType::Long), c("icolumn", ColumnType::Long), c("szObject", ColumnType::Text, 255),
                           c("szColumn", ColumnType::Text, 255), c("szReferencedObject", ColumnType::Text, 255),
                           c("szReferencedColumn", ColumnType::Text, 255)},
                          {IndexSpec{"szRelationship", {{"szRelationship", true}}, false, false, true},
                           IndexSpec{"szObject", {{"szObject", true}}, false, false, true},
                           IndexSpec{"szReferencedObject", {{"szReferencedObject", true}}, false, false, true}},
                          true};
  return {aces, queries, relationships};
}

std::vector<uint8_t> headerPage(double created) {
  std::vector<uint8_t> p(kPageSize, 0);
  p[0] = 0x00;
  p[1] = 0x01;
  std::memcpy(p.data() + 4, "Standard Jet DB", 16);
  p[0x14] = 0x01;
  const uint8_t fixed[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
  std::memcpy(p.data() + 0x18, fixed, sizeof fixed);
  put16(p.data() + 0x3C, 1252);
  // No password: the 40 password bytes are the creation day repeated.
  int32_t day = static_cast<int32_t>(created);
  for (int i = 0; i < 40; ++i) p[0x42 + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(day) >> (8 * (i % 4)));
  put16(p.data() + 0x6E, 1033);
  uint64_t bits;
  std::memcpy(&bits, &created, 8);
  put64(p.data() + 0x72, bits);
  const uint8_t* mask = headerMask();
  for (size_t i = 0; i < 128; ++i) p[0x18 + i] ^= mask[i];
  put32(p.data() + 0x98, 0x654);
  std::memcpy(p.data() + 0x9C, "4.0", 4);
  return p;
}

std::vector<uint8_t> globalMapPage() {
  std::vector<uint8_t> p(kPageSize);
  initDataPage(p.data(), 1);
  // Row 0: inline global map of 8,192 pages (pages 0 and 1 in use, the rest
  // not yet in the file, so not free either); row 1: the 69-byte map Access
  // also keeps there.
  const size_t rows[2] = {5 + 1024, kMapRow};
  size_t start = kPageSize;
  for (int i = 0; i < 2; ++i) {
    start -= rows[i];
    put16(p.data() + 14 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(start));
  }
  put16(p.data() + 12, 2);
  put16(p.data() + 2, static_cast<uint16_t>(kPageSize - 14 - 4 - rows[0] - rows[1]));
  return p;
}

}  // namespace

void createTable(Database& db, const TableSpec& spec) {
  checkSpec(db, spec);
  uint32_t tdef = writeDefinition(db.pager(), spec);
  const Table& objects = catalogTable(db);
  addCatalogRow(db, objects, spec.name, tdef, kTablesId, 1, spec.system ? kSystemFlags : 0);
  // Permissions: the Tables container's, copied for the new table.
  if (const CatalogEntry* aces = db.catalog().find("MSysACEs")) {
    const Table& t = db.table(*aces);
    const Column* object = t.def().columnByName("ObjectId");
    std::vector<RowValues> copies;
    RowCursor cur = t.scan();
    while (object && cur.next()) {
      if (cur.value(*object) != Value{int64_t{kTablesId}}) continue;
      RowValues row;
      for (const Column& c : t.def().columns) row.push_back(&c == object ? Value{int64_t{tdef}} : cur.value(c));
      copies.push_back(std::move(row));
    }
    for (RowValues& row : copies) db.insertRow(t, std::move(row));
  }
  db.reloadCatalog();
}

void dropTable(Database& db, const std::string& name) {
  const CatalogEntry* e = db.catalog().find(name);
  if (!e || e->kind != CatalogEntry::Kind::Table) throw Error("table '" + name + "' does not exist");
  if (e->isSystem()) throw Error("table '" + name + "' is a system table and cannot be dropped");
  const Table& table = db.table(*e);
  const TableDef& def = table.def();
  Pager& pager = db.pager();

  // Catalog and permission rows.
  for (const char* system : {"MSysObjects", "MSysACEs"}) {
    const CatalogEntry* s = db.catalog().find(system);
    if (!s) continue;
    const Table& t = db.table(*s);
    const Column* id = t.def().columnByName(std::string(system) == "MSysObjects" ? "Id" : "ObjectId");
    std::vector<RowPointer> rows;
    RowCursor cur = t.scan();
    while (id && cur.next())
      if (cur.value(*id) == Value{int64_t{e->id}}) rows.push_back(cur.position());
    for (RowPointer r : rows) db.deleteRow(t, r);
  }

  // The catalog's index changes reach their pages before the cache, which
  // may hold the dropped table's pages, is emptied below.
  pager.flushPending();

  // Every page the table used.
  std::set<uint32_t> pages(def.pages.begin(), def.pages.end());
  std::vector<RowPointer> maps{def.ownedMap, def.freeMap};
  auto addMap = [&](RowPointer where, bool owned) {
    if (where.page == 0) return;
    maps.push_back(where);
    UsageMap m = readUsageMap(pager, where);
    pages.insert(m.bitmapPages.begin(), m.bitmapPages.end());
    if (owned) pages.insert(m.pages.begin(), m.pages.end());
  };
  addMap(def.ownedMap, true);
  for (const RealIndex& ix : def.realIndexes) addMap(ix.ownedMap, true);
  for (const Column& c : def.columns)
    if (c.hasLvMaps) {
      addMap(c.lvOwnedMap, true);
      addMap(c.lvFreeMap, false);
    }
  // A holder page goes too when every row on it is one of this table's maps.
  std::set<uint32_t> holders;
  for (RowPointer m : maps) holders.insert(m.page);
  for (uint32_t h : holders) {
    DataPageView view = dataPage(pager, h);
    size_t mine = 0;
    for (RowPointer m : maps) mine += m.page == h ? 1 : 0;
    size_t live = 0;
    for (unsigned i = 0; i < view.rowCount(); ++i) live += view.slot(i, pager.path()).deleted() ? 0 : 1;
    if (h > 2 && view.owner() == 0 && mine >= live) pages.insert(h);
  }
  for (uint32_t p : pages)
    if (p > 2 && pager.contains(p)) freePage(pager, p);
  db.indexCache().clear();  // its index pages are free now
  db.forgetTable(e->id);
  db.reloadCatalog();
}

void createDatabase(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) failFile(path, std::string("cannot create: ") + std::strerror(errno));
  double created = now();
  std::vector<uint8_t> bytes = headerPage(created);
  std::vector<uint8_t> map = globalMapPage();
  bytes.insert(bytes.end(), map.begin(), map.end());
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok) {
    ::unlink(path.c_str());
    failFile(path, "cannot write the new database");
  }
  try {
    Database db(path, Database::Bootstrap{});
    db.begin();
    if (writeDefinition(db.pager(), systemObjects()) != kMSysObjectsPage)
      failFile(path, "the catalog did not land on page 2");
    const Table& objects = catalogTable(db);
    const int32_t top = kTopContainerId;
    addCatalogRow(db, objects, "Tables", kTablesId, top, 3, kSystemFlags);
    addCatalogRow(db, objects, "Databases", 0x0F000002, top, 3, kSystemFlags);
    addCatalogRow(db, objects, "Relationships", 0x0F000003, top, 3, kSystemFlags);
    addCatalogRow(db, objects, "MSysDb", 0x10000000, 0x0F000002, 2, kSystemFlags);
    addCatalogRow(db, objects, "MSysObjects", kMSysObjectsPage, kTablesId, 1, kSystemFlags);
    db.reloadCatalog();
    for (const TableSpec& spec : otherSystemTables()) createTable(db, spec);
    db.commit();
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
}

}  // namespace jet
