#include "tdef.h"

#include <algorithm>
#include <unordered_set>

#include "data_page.h"
#include "error.h"
#include "text_codec.h"

namespace jet {

const char* columnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "BOOLEAN";
    case ColumnType::Byte: return "BYTE";
    case ColumnType::Integer: return "INT";
    case ColumnType::Long: return "LONG";
    case ColumnType::Currency: return "MONEY";
    case ColumnType::Single: return "FLOAT";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::DateTime: return "SHORT_DATE_TIME";
    case ColumnType::Binary: return "BINARY";
    case ColumnType::Text: return "TEXT";
    case ColumnType::Ole: return "OLE";
    case ColumnType::Memo: return "MEMO";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Decimal: return "NUMERIC";
    case ColumnType::Unknown0D: return "UNKNOWN_0D";
    case ColumnType::Unknown11: return "UNKNOWN_11";
  }
  return "UNKNOWN";
}

bool isLongValue(ColumnType type) { return type == ColumnType::Memo || type == ColumnType::Ole; }

const Column* TableDef::columnByNumber(uint16_t number) const {
  for (const Column& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

const Column* TableDef::columnByName(const std::string& n) const {
  for (const Column& c : columns)
    if (equalsIgnoreCase(c.name, n)) return &c;
  return nullptr;
}

std::vector<const Column*> TableDef::columnsByNumber() const {
  std::vector<const Column*> out;
  for (const Column& c : columns) out.push_back(&c);
  std::stable_sort(out.begin(), out.end(),
                   [](const Column* a, const Column* b) { return a->number < b->number; });
  return out;
}

const LogicalIndex* TableDef::primaryKey() const {
  for (const LogicalIndex& l : logicalIndexes)
    if (l.kind == IndexKind::PrimaryKey) return &l;
  return nullptr;
}

namespace {

// Bounds-checked reads over the logical tdef bytes.
class TdefReader {
 public:
  TdefReader(std::vector<uint8_t> bytes, const std::string& file, uint32_t page, const std::string& name)
      : b_(std::move(bytes)), file_(file), page_(page), name_(name) {}

  const uint8_t* at(size_t offset, size_t length) const {
    if (offset > b_.size() || length > b_.size() - offset)
      failPage(file_, page_, "table definition of '" + name_ + "' is truncated (needs byte " +
                                 std::to_string(offset + length) + ", has " + std::to_string(b_.size()) + ")");
    return b_.data() + offset;
  }
  uint8_t u8(size_t o) const { return *at(o, 1); }
  uint16_t u16(size_t o) const { return le16(at(o, 2)); }
  uint32_t u32(size_t o) const { return le32(at(o, 4)); }
  RowPointer ptr(size_t o) const { return RowPointer::fromLe(at(o, 4)); }
  std::string name(size_t& o) const {
    uint16_t len = u16(o);
    if (len % 2 != 0 || len > 128)
      failPage(file_, page_, "table definition of '" + name_ + "' has a name of impossible length " +
                                 std::to_string(len));
    std::string s;
    utf16leToUtf8(at(o + 2, len), len, s);
    o += 2 + static_cast<size_t>(len);
    return s;
  }
  size_t size() const { return b_.size(); }
  [[noreturn]] void fail(const std::string& what) const {
    failPage(file_, page_, "table definition of '" + name_ + "' " + what);
  }

 private:
  std::vector<uint8_t> b_;
  const std::string& file_;
  uint32_t page_;
  const std::string& name_;
};

std::vector<uint8_t> readChain(const Pager& pager, uint32_t first, const std::string& name,
                               std::vector<uint32_t>& pages) {
  std::vector<uint8_t> bytes;
  std::unordered_set<uint32_t> seen;
  uint32_t page = first;
  while (page != 0) {
    if (!seen.insert(page).second)
      failPage(pager.path(), page, "table definition chain of '" + name + "' loops back to this page");
    const uint8_t* p = pager.page(page);
    if (p[0] != kPageTdef)
      failPage(pager.path(), page, "is not a table definition page (expected for '" + name + "')");
    pages.push_back(page);
    if (page == first)
      bytes.insert(bytes.end(), p, p + kPageSize);
    else
      bytes.insert(bytes.end(), p + 8, p + kPageSize);
    page = le32(p + 4);
  }
  return bytes;
}

}  // namespace

TableDef readTableDef(const Pager& pager, uint32_t firstPage, const std::string& name) {
  TableDef t;
  t.name = name;
  t.tdefPage = firstPage;
  TdefReader r(readChain(pager, firstPage, name, t.pages), pager.path(), firstPage, name);

  t.rowCount = r.u32(16);
  t.autoNumber = r.u32(20);
  t.tableType = r.u8(40);
  t.maxCols = r.u16(41);
  t.numVarCols = r.u16(43);
  const uint16_t numCols = r.u16(45);
  const uint32_t numLogical = r.u32(47);
  const uint32_t numReal = r.u32(51);
  t.ownedMap = r.ptr(55);
  t.freeMap = r.ptr(59);
  if (numReal > 64 || numLogical > 64)
    r.fail("lists " + std::to_string(numReal) + " real and " + std::to_string(numLogical) +
           " logical indexes, more than a table can have");

  size_t o = 63;
  t.realIndexes.resize(numReal);
  for (uint32_t i = 0; i < numReal; ++i) {
    t.realIndexes[i].number = i;
    t.realIndexes[i].distinctCount = r.u32(o + 4);
    o += 12;
  }

  t.columns.resize(numCols);
  for (Column& c : t.columns) {
    const uint8_t* b = r.at(o, 25);
    c.type = static_cast<ColumnType>(b[0]);
    c.number = le16(b + 5);
    c.varIndex = le16(b + 7);
    c.sortOrder.lcid = le16(b + 11);
    c.sortOrder.version = b[14];
    c.precision = b[11];
    c.scale = b[12];
    c.flags = b[15];
    c.extFlags = b[16];
    c.fixedOffset = le16(b + 21);
    c.length = le16(b + 23);
    o += 25;
  }
  for (Column& c : t.columns) c.name = r.name(o);

  for (RealIndex& ix : t.realIndexes) {
    const uint8_t* b = r.at(o, 52);
    for (int k = 0; k < 10; ++k) {
      uint16_t col = le16(b + 4 + 3 * k);
      if (col == 0xFFFF) continue;
      ix.columns.push_back(IndexColumn{col, b[4 + 3 * k + 2] != 0});
    }
    ix.ownedMap = RowPointer::fromLe(b + 34);
    ix.rootPage = le32(b + 38);
    ix.flags = b[46];
    o += 52;
  }

  t.logicalIndexes.resize(numLogical);
  for (LogicalIndex& l : t.logicalIndexes) {
    const uint8_t* b = r.at(o, 28);
    l.number = le32(b + 4);
    l.realIndex = le32(b + 8);
    l.foreignKeySide = b[12];
    l.kind = static_cast<IndexKind>(b[23]);
    if (l.realIndex >= numReal)
      r.fail("has logical index " + std::to_string(l.number) + " naming missing real index " +
             std::to_string(l.realIndex));
    o += 28;
  }
  for (LogicalIndex& l : t.logicalIndexes) l.name = r.name(o);

  // Long-value column maps, up to an FF FF terminator (absent in some files).
  size_t limit = r.u32(8);
  if (limit < o || limit > r.size()) limit = r.size();
  while (o + 2 <= limit) {
    uint16_t col = r.u16(o);
    if (col == 0xFFFF) break;
    if (o + 10 > limit) break;
    for (Column& c : t.columns) {
      if (c.number == col && isLongValue(c.type)) {
        c.lvOwnedMap = r.ptr(o + 2);
        c.lvFreeMap = r.ptr(o + 6);
        c.hasLvMaps = true;
      }
    }
    o += 10;
  }

  // Structural sanity: every index column must exist, every column must
  // fit the row layout the tdef declares.
  for (const RealIndex& ix : t.realIndexes)
    for (const IndexColumn& ic : ix.columns)
      if (!t.columnByNumber(ic.columnNumber))
        r.fail("has an index on missing column number " + std::to_string(ic.columnNumber));
  for (const Column& c : t.columns) {
    if (c.number >= t.maxCols)
      r.fail("has column '" + c.name + "' numbered " + std::to_string(c.number) + " beyond max_cols " +
             std::to_string(t.maxCols));
    if (c.type != ColumnType::Boolean && !c.isFixed() && c.varIndex >= t.numVarCols)
      r.fail("has variable column '" + c.name + "' in slot " + std::to_string(c.varIndex) +
             " beyond the " + std::to_string(t.numVarCols) + " slots rows carry");
  }
  return t;
}

}  // namespace jet
