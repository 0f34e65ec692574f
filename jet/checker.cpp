#include "checker.h"

#include <algorithm>
#include <map>
#include <set>

#include "data_page.h"
#include "error.h"
#include "index_key.h"
#include "index_page.h"
#include "long_value.h"
#include "text_codec.h"

namespace jet {

namespace {

class Checker {
 public:
  explicit Checker(const Database& db) : db_(db), pager_(db.pager()) {}

  CheckReport run() {
    pager_.flushPending();
    guarded("global usage map", [&] { global_ = readGlobalMap(pager_); });
    claim(0, "the database header");
    claim(1, "the global usage map");
    for (const CatalogEntry& e : db_.catalog().entries) {
      if (e.kind != CatalogEntry::Kind::Table) continue;
      guarded("table '" + e.name + "'", [&] { checkTable(db_.table(e), e.isSystem()); });
    }
    bool catalogListed = false;
    for (const CatalogEntry& e : db_.catalog().entries)
      catalogListed = catalogListed || (e.kind == CatalogEntry::Kind::Table && e.id == kMSysObjectsPage);
    if (!catalogListed) guarded("table 'MSysObjects'", [&] {
      TableDef def = readTableDef(pager_, kMSysObjectsPage, "MSysObjects");
      checkTable(Table(pager_, std::move(def)), true);
    });
    findUnlistedRows();
    return std::move(report_);
  }

 private:
  template <typename F>
  void guarded(const std::string& what, F&& f) {
    try {
      f();
    } catch (const Error& e) {
      error(what + ": " + e.what());
    }
  }

  void error(const std::string& s) { report_.errors.push_back(s); }

  bool inUse(uint32_t page) const {
    return !(global_.covers(page) && global_.contains(page));
  }

  // Records that `owner` references `page`; reports a page used twice or a
  // referenced page that the global map calls free.
  void claim(uint32_t page, const std::string& owner, bool shareable = false) {
    if (!pager_.contains(page)) {
      error(owner + ": page " + std::to_string(page) + " lies beyond the end of the file");
      return;
    }
    if (!inUse(page)) error(owner + ": page " + std::to_string(page) + " is marked free in the global usage map");
    auto [it, fresh] = owners_.emplace(page, owner);
    if (!fresh && !(shareable && it->second == owner))
      error("page " + std::to_string(page) + " is used by both " + it->second + " and " + owner);
  }

  UsageMap readMap(RowPointer where, const std::string& owner) {
    UsageMap m = readUsageMap(pager_, where);
    claim(where.page, "usage maps", true);
    for (uint32_t b : m.bitmapPages) claim(b, owner + " (usage bitmap)");
    return m;
  }

  // A page in use that carries live rows of a table but is missing from the
  // table's owned map holds rows no reader will ever see.
  void findUnlistedRows() {
    for (uint32_t n = 3; n < pager_.pageCount(); ++n) {
      if (!inUse(n) || owners_.count(n)) continue;
      const uint8_t* p = pager_.page(n);
      if (p[0] != kPageData) continue;
      DataPageView page{p, n};
      auto table = tables_.find(page.owner());
      if (table == tables_.end()) continue;
      try {
        for (unsigned i = 0; i < page.rowCount(); ++i) {
          if (!page.slot(i, pager_.path()).deleted()) {
            error("table '" + table->second + "': page " + std::to_string(n) +
                  " holds its live rows but is not in its owned map");
            break;
          }
        }
      } catch (const Error&) {
        // Stale bytes of a page nobody references; not a fault.
      }
    }
  }

  void checkTable(const Table& table, bool system) {
    const TableDef& def = table.def();
    const std::string who = "table '" + def.name + "'";
    tables_[def.tdefPage] = def.name;
    for (uint32_t p : def.pages) claim(p, who + " definition");
    UsageMap owned = readMap(def.ownedMap, who);
    UsageMap freeMap = readMap(def.freeMap, who);
    for (uint32_t p : freeMap.pages)
      if (!owned.contains(p)) error(who + ": page " + std::to_string(p) + " is in its free-space map but not owned");

    std::map<uint16_t, UsageMap> lvMaps;
    for (const Column& c : def.columns)
      if (c.hasLvMaps) {
        // A zero row pointer means the map was never made.
        if (c.lvOwnedMap.page != 0) lvMaps.emplace(c.number, readMap(c.lvOwnedMap, who + " column '" + c.name + "'"));
        if (c.lvFreeMap.page != 0) readMap(c.lvFreeMap, who + " column '" + c.name + "'");
      }

    uint32_t live = 0;
    for (uint32_t p : owned.pages) {
      claim(p, who);
      guarded(who, [&] { live += checkDataPage(table, p); });
    }
    // Access itself leaves the counts of its system tables behind (MSysACEs
    // of an Access 2000 sample counts 61 of its 64 rows), so there it is a note.
    if (live != def.rowCount)
      (system ? report_.notes : report_.errors).push_back(who + ": row count in the definition is " + std::to_string(def.rowCount) + " but " + std::to_string(live) +
            " live rows were found");

    // Rows: values, long values, autonumber, and the keys of every index.
    std::vector<std::map<std::pair<uint32_t, uint8_t>, std::string>> expected(def.realIndexes.size());
    std::vector<bool> computable(def.realIndexes.size());
    for (size_t i = 0; i < def.realIndexes.size(); ++i) {
      std::string why;
      computable[i] = canEncodeKeys(def, def.realIndexes[i], db_.header().sortOrder, &why);
      if (!computable[i]) report_.notes.push_back(why);
    }
    int64_t maxAuto = 0;
    const Column* autoColumn = nullptr;
    for (const Column& c : def.columns)
      if (c.type == ColumnType::Long && (c.flags & kColumnAutoLong)) autoColumn = &c;

    guarded(who, [&] {
      RowCursor cur = table.scan();
      while (cur.next()) {
        RowPointer at = cur.position();
        std::string where = who + ": row " + std::to_string(at.row) + " of page " + std::to_string(at.page);
        for (const Column& c : def.columns) {
          guarded(where + " column '" + c.name + "'", [&] { checkValue(cur, c, lvMaps, who); });
        }
        if (autoColumn) {
          Value v = cur.value(*autoColumn);
          if (auto p = std::get_if<int64_t>(&v)) maxAuto = std::max(maxAuto, *p);
        }
        for (size_t i = 0; i < def.realIndexes.size(); ++i) {
          if (!computable[i]) continue;
          const RealIndex& ix = def.realIndexes[i];
          std::vector<Value> values;
          bool allNull = true, anyNull = false;
          for (const IndexColumn& ic : ix.columns) {
            const Column* c = def.columnByNumber(ic.columnNumber);
            values.push_back(cur.value(*c));
            bool n = c->type != ColumnType::Boolean && isNull(values.back());
            allNull = allNull && n;
            anyNull = anyNull || n;
          }
          if (anyNull && ix.required())
            error(where + ": null key part in required index " + std::to_string(i));
          if (allNull && ix.ignoreNulls()) continue;
          expected[i][{at.page, at.row}] = encodeKey(def, ix, values);
        }
      }
    });
    if (autoColumn && maxAuto > static_cast<int64_t>(def.autoNumber))
      error(who + ": autonumber counter " + std::to_string(def.autoNumber) + " is below the largest key " +
            std::to_string(maxAuto));

    for (size_t i = 0; i < def.realIndexes.size(); ++i) {
      guarded(who + " index " + std::to_string(i),
              [&] { checkIndex(def, def.realIndexes[i], computable[i] ? &expected[i] : nullptr); });
    }
  }

  // Returns the live rows the page contributes to the row count.
  uint32_t checkDataPage(const Table& table, uint32_t n) {
    const TableDef& def = table.def();
    const std::string who = "table '" + def.name + "'";
    const uint8_t* raw = pager_.page(n);
    if (raw[0] != kPageData) {
      error(who + ": page " + std::to_string(n) + " is in its owned map but is not a data page");
      return 0;
    }
    DataPageView page{raw, n};
    if (page.owner() != def.tdefPage) {
      error(who + ": data page " + std::to_string(n) + " names owner " + std::to_string(page.owner()));
      return 0;
    }
    unsigned count = page.rowCount();
    size_t used = 0;
    uint32_t live = 0;
    for (unsigned i = 0; i < count; ++i) {
      RowSlot s = page.slot(i, pager_.path());
      used += s.length();
      if (i > 0 && s.start > page.slot(i - 1, pager_.path()).start)
        error(who + ": page " + std::to_string(n) + " row " + std::to_string(i) + " starts after the row before it");
      if (!s.deleted()) ++live;
      if (s.overflow() && !s.deleted()) {
        RowPointer target = RowPointer::fromLe(raw + s.start);
        if (!pager_.contains(target.page)) {
          error(who + ": overflow row on page " + std::to_string(n) + " points beyond the file");
          continue;
        }
        const uint8_t* tp = pager_.page(target.page);
        DataPageView tv{tp, target.page};
        if (tp[0] != kPageData || tv.owner() != def.tdefPage || target.row >= tv.rowCount() ||
            !tv.slot(target.row, pager_.path()).deleted())
          error(who + ": overflow row on page " + std::to_string(n) + " does not lead to a moved row of this table");
      }
    }
    size_t expectedFree = kPageSize - 14 - 2 * count - used;
    if (page.freeSpace() != expectedFree)
      error(who + ": page " + std::to_string(n) + " free space field is " + std::to_string(page.freeSpace()) +
            ", the rows leave " + std::to_string(expectedFree));
    return live;
  }

  struct LvClaims : LvalRowVisitor {
    Checker* self;
    const UsageMap* map;
    std::string who;
    void lvalRow(RowPointer at) override {
      self->claim(at.page, who + " long values", true);
      if (map && !map->contains(at.page))
        self->error(who + ": long-value page " + std::to_string(at.page) + " is not in its column's usage map");
    }
  };

  void checkValue(const RowCursor& cur, const Column& c, const std::map<uint16_t, UsageMap>& lvMaps,
                  const std::string& who) {
    ValueBytes b = cur.row().bytes(c);
    if (!b.data) return;
    if (isLongValue(c.type)) {
      if (b.length == 0) return;
      auto it = lvMaps.find(c.number);
      LvClaims claims;
      claims.self = this;
      claims.map = it == lvMaps.end() ? nullptr : &it->second;
      claims.who = who + " column '" + c.name + "'";
      std::vector<uint8_t> out;
      readLongValue(pager_, b.data, b.length, cur.position().page, out, &claims);
      return;
    }
    if (c.type == ColumnType::Text && !isCompressedText(b.data, b.length) && b.length % 2 != 0)
      error(who + ": text in column '" + c.name + "' has an odd number of bytes");
    if (c.type == ColumnType::Text && c.length > 0 && !c.isFixed()) {
      std::u16string units = decodeTextUtf16(b.data, b.length);
      if (units.size() * 2 > c.length)
        error(who + ": text in column '" + c.name + "' is longer than the column allows");
    }
    if (c.isFixed() && b.length < c.length) error(who + ": column '" + c.name + "' is shorter than its type");
  }

  void checkIndex(const TableDef& def, const RealIndex& ix,
                  const std::map<std::pair<uint32_t, uint8_t>, std::string>* expected) {
    const std::string who = "table '" + def.name + "' index " + std::to_string(ix.number);
    UsageMap owned = readMap(ix.ownedMap, who);
    std::vector<IndexEntry> leaves;
    std::vector<uint32_t> leafPages;
    int leafDepth = -1;
    std::set<uint32_t> visited;
    walk(def, ix, owned, ix.rootPage, 0, leafDepth, leaves, leafPages, visited, who);

    // Leaf links: prev/next in order across the level.
    for (size_t i = 0; i < leafPages.size(); ++i) {
      IndexPage p = readIndexPage(pager_, leafPages[i]);
      uint32_t wantPrev = i == 0 ? 0 : leafPages[i - 1];
      uint32_t wantNext = i + 1 == leafPages.size() ? 0 : leafPages[i + 1];
      if (p.prev != wantPrev || p.next != wantNext)
        error(who + ": leaf page " + std::to_string(p.number) + " links prev " + std::to_string(p.prev) + " next " +
              std::to_string(p.next) + ", expected " + std::to_string(wantPrev) + " and " + std::to_string(wantNext));
    }
    for (size_t i = 1; i < leaves.size(); ++i) {
      if (compareEntry(leaves[i - 1].key, leaves[i - 1].row, leaves[i].key, leaves[i].row) >= 0) {
        error(who + ": entries out of order at position " + std::to_string(i));
        break;
      }
    }
    if (ix.unique()) {
      for (size_t i = 1; i < leaves.size(); ++i) {
        const std::string& k = leaves[i].key;
        // A null key part is one byte, 00 or FF; a non-null part starts
        // with 7F or 80, so a key of only 00/FF bytes is all null.
        bool allNull = k.find_first_not_of(std::string("\x00\xFF", 2)) == std::string::npos;
        if (k == leaves[i - 1].key && !allNull) error(who + ": unique index holds a duplicate key at position " + std::to_string(i));
      }
    }
    if (!expected) return;
    std::map<std::pair<uint32_t, uint8_t>, std::string> remaining = *expected;
    for (const IndexEntry& e : leaves) {
      auto it = remaining.find({e.row.page, e.row.row});
      if (it == remaining.end()) {
        error(who + ": entry for row " + std::to_string(e.row.row) + " of page " + std::to_string(e.row.page) +
              (expected->count({e.row.page, e.row.row}) ? " appears twice" : " points to no live indexed row"));
        continue;
      }
      if (it->second != e.key)
        error(who + ": entry for row " + std::to_string(e.row.row) + " of page " + std::to_string(e.row.page) +
              " holds a key that differs from the row's values");
      remaining.erase(it);
    }
    for (const auto& [row, key] : remaining)
      error(who + ": row " + std::to_string(row.second) + " of page " + std::to_string(row.first) + " has no index entry");
  }

  // Walks the subtree at `n`; returns its last entry (key, row).
  std::pair<std::string, RowPointer> walk(const TableDef& def, const RealIndex& ix, const UsageMap& owned, uint32_t n,
                                          int depth, int& leafDepth, std::vector<IndexEntry>& leaves,
                                          std::vector<uint32_t>& leafPages, std::set<uint32_t>& visited,
                                          const std::string& who) {
    if (depth > 32 || !visited.insert(n).second) throw Error("the tree loops back to page " + std::to_string(n));
    claim(n, who);
    IndexPage p = readIndexPage(pager_, n);
    if (!owned.contains(n)) error(who + ": page " + std::to_string(n) + " is not in the index's usage map");
    if (p.owner != def.tdefPage) error(who + ": page " + std::to_string(n) + " names owner " + std::to_string(p.owner));
    if (p.freeSpace != kPageSize - p.usedEnd)
      error(who + ": page " + std::to_string(n) + " free space field " + std::to_string(p.freeSpace) + " should be " +
            std::to_string(kPageSize - p.usedEnd));
    if (p.isLeaf()) {
      if (p.tail != 0) error(who + ": leaf page " + std::to_string(n) + " has a tail");
      if (leafDepth < 0) leafDepth = depth;
      if (leafDepth != depth) error(who + ": leaf page " + std::to_string(n) + " is at another depth than the others");
      leafPages.push_back(n);
      for (const IndexEntry& e : p.entries) leaves.push_back(e);
      if (p.entries.empty()) return {std::string(), RowPointer{}};
      return {p.entries.back().key, p.entries.back().row};
    }
    std::pair<std::string, RowPointer> last;
    bool haveLast = false;
    for (const IndexEntry& e : p.entries) {
      size_t before = leaves.size();
      auto sub = walk(def, ix, owned, e.child, depth + 1, leafDepth, leaves, leafPages, visited, who);
      if (leaves.size() > before && (sub.first != e.key || sub.second != e.row))
        error(who + ": node page " + std::to_string(n) + " entry for child " + std::to_string(e.child) +
              " differs from the child's last entry");
      last = {e.key, e.row};
      haveLast = true;
    }
    if (p.tail) {
      last = walk(def, ix, owned, p.tail, depth + 1, leafDepth, leaves, leafPages, visited, who);
      haveLast = true;
    }
    if (!haveLast) error(who + ": node page " + std::to_string(n) + " has no children");
    return last;
  }

  const Database& db_;
  const Pager& pager_;
  UsageMap global_;
  std::map<uint32_t, std::string> owners_;
  std::map<uint32_t, std::string> tables_;  // tdef page -> name
  CheckReport report_;
};

}  // namespace

CheckReport checkDatabase(const Database& db) { return Checker(db).run(); }

}  // namespace jet
