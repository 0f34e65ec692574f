#include "table_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "data_page.h"
#include "error.h"
#include "index_key.h"
#include "index_page.h"
#include "index_writer.h"
#include "long_value.h"
#include "page_alloc.h"
#include "row_codec.h"
#include "text_codec.h"
#include "usage_map.h"

namespace jet {

namespace {

constexpr size_t kRowLimit = 4060;          // largest row we write (room for the row table)
constexpr size_t kInlineLongValue = 64;     // long values up to this stay in the row
constexpr size_t kSingleLvalRow = 4076;     // up to this in one LVAL row
constexpr size_t kChainChunk = 4072;        // data bytes per chained LVAL row
constexpr size_t kKeepInFreeMap = 128;      // pages with less room leave the free-space map

const char* typeWord(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: return "yes/no";
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: return "whole-number";
    case ColumnType::Currency: return "currency";
    case ColumnType::Single:
    case ColumnType::Double: return "number";
    case ColumnType::DateTime: return "date/time";
    case ColumnType::Text:
    case ColumnType::Memo: return "text";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Decimal: return "decimal";
    default: return "binary";
  }
}

[[noreturn]] void badValue(const TableDef& def, const Column& c, const std::string& what) {
  throw Error("column '" + c.name + "' of table '" + def.name + "': " + what);
}

template <typename T>
const T& need(const TableDef& def, const Column& c, const Value& v) {
  const T* p = std::get_if<T>(&v);
  if (!p) badValue(def, c, std::string("takes ") + typeWord(c.type) + " values");
  return *p;
}

const Value& needText(const TableDef& def, const Column& c, const Value& v) {
  if (!isText(v)) badValue(def, c, std::string("takes ") + typeWord(c.type) + " values");
  return v;
}

std::vector<uint8_t> textBytes(const Column& c, const Value& text) {
  bool latin1 = true;
  std::vector<uint8_t> out;
  if (auto u = std::get_if<std::u16string>(&text)) {
    static_assert(std::endian::native == std::endian::little, "units are copied as stored, little-endian");
    out.resize(u->size() * 2);
    std::memcpy(out.data(), u->data(), out.size());
    latin1 = std::all_of(u->begin(), u->end(), [](char16_t unit) { return unit >= 1 && unit <= 0xFF; });
  } else {
    out = utf8ToUtf16le(std::get<std::string>(text), latin1);
  }
  size_t units = out.size() / 2;
  bool compress = c.isCompressible() && units >= 3 && (c.type != ColumnType::Memo || units <= 1024) && latin1;
  if (compress) {
    // FF FE, then each unit's low byte (gathered forward, then moved up).
    for (size_t i = 0; i < units; ++i) out[i] = out[2 * i];
    out.resize(units + 2);
    std::memmove(out.data() + 2, out.data(), units);
    out[0] = 0xFF;
    out[1] = 0xFE;
  }
  return out;
}

// Writes a fixed-length value into its `c.length` bytes at `p` (zeroed).
void putFixed(const Column& c, const Value& v, uint8_t* p) {
  switch (c.type) {
    case ColumnType::Byte: p[0] = static_cast<uint8_t>(std::get<int64_t>(v)); break;
    case ColumnType::Integer: put16(p, static_cast<uint16_t>(std::get<int64_t>(v))); break;
    case ColumnType::Long: put32(p, static_cast<uint32_t>(std::get<int64_t>(v))); break;
    case ColumnType::Currency: put64(p, static_cast<uint64_t>(std::get<Currency>(v).scaled)); break;
    case ColumnType::Single: {
      uint32_t bits;
      float f = std::get<float>(v);
      std::memcpy(&bits, &f, 4);
      put32(p, bits);
      break;
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
      double d = c.type == ColumnType::Double ? std::get<double>(v) : std::get<DateTime>(v).days;
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      put64(p, bits);
      break;
    }
    case ColumnType::Guid: std::memcpy(p, std::get<Guid>(v).bytes.data(), 16); break;
    case ColumnType::Decimal: {
      const Decimal& d = std::get<Decimal>(v);
      p[0] = d.negative ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) put32(p + 1 + 4 * w, static_cast<uint32_t>(d.magnitude >> (32 * (3 - w))));
      break;
    }
    case ColumnType::Text: {
      std::u16string units = textUnits(v);
      for (size_t i = 0; i < units.size() && 2 * i + 1 < c.length; ++i) put16(p + 2 * i, static_cast<uint16_t>(units[i]));
      break;
    }
    default: {
      const Bytes& b = std::get<Bytes>(v);
      std::memcpy(p, b.data(), std::min<size_t>(b.size(), c.length));
      break;
    }
  }
}

int64_t readTdef32(const Pager& pager, uint32_t tdef, size_t offset) {
  return static_cast<int64_t>(le32(pager.page(tdef) + offset));
}

}  // namespace

double fromCalendar(const CalendarTime& t) {
  // Days from civil (Howard Hinnant's algorithm), then 1899-12-30 as day 0.
  int64_t y = t.year - (t.month <= 2);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = t.month > 2 ? t.month - 3 : t.month + 9;
  int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 719468 + 25569;
  double fraction = (t.hour * 3600.0 + t.minute * 60.0 + t.second + static_cast<double>(t.nanos) / 1e9) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

void checkValue(const TableDef& def, const Column& c, const Value& v) {
  if (isNull(v)) return;
  switch (c.type) {
    case ColumnType::Boolean: need<bool>(def, c, v); return;
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: {
      int64_t n = need<int64_t>(def, c, v);
      int64_t lo = c.type == ColumnType::Byte ? 0 : c.type == ColumnType::Integer ? INT16_MIN : INT32_MIN;
      int64_t hi = c.type == ColumnType::Byte ? 255 : c.type == ColumnType::Integer ? INT16_MAX : INT32_MAX;
      if (n < lo || n > hi)
        badValue(def, c, "value " + std::to_string(n) + " is out of range (" + std::to_string(lo) + " to " +
                             std::to_string(hi) + ")");
      return;
    }
    case ColumnType::Currency: need<Currency>(def, c, v); return;
    case ColumnType::Single: need<float>(def, c, v); return;
    case ColumnType::Double: need<double>(def, c, v); return;
    case ColumnType::DateTime: need<DateTime>(def, c, v); return;
    case ColumnType::Guid: need<Guid>(def, c, v); return;
    case ColumnType::Decimal: need<Decimal>(def, c, v); return;
    case ColumnType::Text: {
      size_t units = textLength(needText(def, c, v));
      if (units * 2 > c.length)
        badValue(def, c, "text of " + std::to_string(units) + " characters is longer than the column's " +
                             std::to_string(c.length / 2));
      return;
    }
    case ColumnType::Memo: needText(def, c, v); return;
    case ColumnType::Binary:
      if (need<Bytes>(def, c, v).size() > c.length)
        badValue(def, c, "value of " + std::to_string(std::get<Bytes>(v).size()) + " bytes is longer than the column's " +
                             std::to_string(c.length));
      return;
    default: need<Bytes>(def, c, v); return;
  }
}

TableWriter::TableWriter(Pager& pager, const Table& table, SortOrder databaseDefault, IndexNodeCache& indexCache,
                         InsertHints& hints)
    : pager_(pager), table_(table), def_(table.def()), sortOrder_(databaseDefault), indexCache_(indexCache), hints_(hints) {}

void TableWriter::checkWritable() const {
  if (!pager_.writable()) failFile(pager_.path(), "cannot be changed: it is open read-only");
  for (const RealIndex& ix : def_.realIndexes) {
    std::string why;
    if (!canEncodeKeys(def_, ix, sortOrder_, &why)) throw Error("table '" + def_.name + "' cannot be changed: " + why);
  }
}

// One key per real index; an index that skips this row (all key columns
// null and "ignore nulls") gets an empty string, which no real key is.
std::vector<std::string> TableWriter::keysOf(const RowValues& values) const {
  std::vector<std::string> keys;
  for (const RealIndex& ix : def_.realIndexes) {
    std::string key;  // built from the values in place: copying them cost a heap block per text part
    bool allNull = true;
    for (const IndexColumn& ic : ix.columns) {
      size_t at = 0;
      while (def_.columns[at].number != ic.columnNumber) ++at;
      const Column& c = def_.columns[at];
      appendKeyPart(key, c, ic.ascending, values[at]);
      bool null = c.type != ColumnType::Boolean && isNull(values[at]);
      allNull = allNull && null;
      if (null && ix.required()) {
        std::string name = "?";
        for (const LogicalIndex& l : def_.logicalIndexes)
          if (l.realIndex == ix.number) name = l.name;
        throw Error("column '" + c.name + "' of table '" + def_.name + "' cannot be null: it is part of index '" + name + "'");
      }
    }
    keys.push_back(allNull && ix.ignoreNulls() ? std::string() : std::move(key));
  }
  return keys;
}

RowPointer TableWriter::putRow(std::span<const uint8_t> row, uint32_t owner, RowPointer ownedMap, RowPointer freeMap,
                               bool tracked) {
  if (row.size() > kMaxRowLength) throw Error("a row of table '" + def_.name + "' would be too long for a page");
  const uint32_t hintKey = (freeMap.page << 8) | freeMap.row;
  if (tracked) {
    auto hint = hints_.find(hintKey);
    if (hint != hints_.end() && pager_.contains(hint->second)) {
      uint32_t page = hint->second;
      DataPageView view = dataPage(pager_, page);
      if (view.owner() == owner && hasRoomFor(view, row.size())) {
        uint8_t n = addRow(pager_, page, row.data(), row.size());
        if (dataPage(pager_, page).freeSpace() < kKeepInFreeMap) removeFromMap(pager_, freeMap, page);
        return RowPointer{page, n};
      }
    }
    UsageMap free = readUsageMap(pager_, freeMap, 4);
    for (auto it = free.pages.rbegin(); it != free.pages.rend(); ++it) {
      if (!pager_.contains(*it)) continue;
      DataPageView view = dataPage(pager_, *it);
      if (view.owner() != owner || !hasRoomFor(view, row.size())) continue;
      uint8_t n = addRow(pager_, *it, row.data(), row.size());
      if (dataPage(pager_, *it).freeSpace() < kKeepInFreeMap) removeFromMap(pager_, freeMap, *it);
      hints_[hintKey] = *it;
      return RowPointer{*it, n};
    }
  }
  uint32_t page = allocatePage(pager_);
  initDataPage(pager_.change(page), owner);
  uint8_t n = addRow(pager_, page, row.data(), row.size());
  if (tracked) {
    addToMap(pager_, ownedMap, page);
    if (dataPage(pager_, page).freeSpace() >= kKeepInFreeMap) addToMap(pager_, freeMap, page);
    hints_[hintKey] = page;
  }
  return RowPointer{page, n};
}

RowPointer TableWriter::storeLongValue(const Column& c, const uint8_t* bytes, size_t length, bool chained) {
  bool tracked = c.hasLvMaps && c.lvOwnedMap.page != 0 && c.lvFreeMap.page != 0;
  if (!chained) return putRow({bytes, length}, kLvalOwner, c.lvOwnedMap, c.lvFreeMap, tracked);
  // Chunks are written last first, so that each knows the next one.
  size_t chunks = (length + kChainChunk - 1) / kChainChunk;
  RowPointer next{0, 0};
  for (size_t i = chunks; i-- > 0;) {
    size_t start = i * kChainChunk;
    size_t take = std::min(kChainChunk, length - start);
    std::vector<uint8_t> row(4 + take);
    next.toLe(row.data());
    std::memcpy(row.data() + 4, bytes + start, take);
    next = putRow(row, kLvalOwner, c.lvOwnedMap, c.lvFreeMap, tracked);
  }
  return next;
}

std::vector<uint8_t> TableWriter::storeValue(const Column& c, const Value& v, size_t& rowBudget) {
  std::vector<uint8_t> data;
  if (c.type == ColumnType::Memo)
    data = textBytes(c, v);
  else
    data = std::get<Bytes>(v);
  std::vector<uint8_t> header(12, 0);
  uint32_t length = static_cast<uint32_t>(data.size());
  if (data.size() > 0x3FFFFFFF) throw Error("a value of column '" + c.name + "' is longer than a long value can be");
  if (data.size() <= kInlineLongValue && data.size() <= rowBudget) {  // the 12-byte header is already counted
    put32(header.data(), length | 0x80000000u);
    header.insert(header.end(), data.begin(), data.end());
  } else if (data.size() <= kSingleLvalRow) {
    put32(header.data(), length | 0x40000000u);
    storeLongValue(c, data.data(), data.size(), false).toLe(header.data() + 4);
  } else {
    put32(header.data(), length);
    storeLongValue(c, data.data(), data.size(), true).toLe(header.data() + 4);
  }
  rowBudget -= std::min(rowBudget, header.size() - 12);
  return header;
}

RowPointer TableWriter::insert(RowValues values) {
  checkWritable();
  if (values.size() != def_.columns.size())
    throw Error("table '" + def_.name + "' has " + std::to_string(def_.columns.size()) + " columns, the row " +
                std::to_string(values.size()));
  int64_t counter = readTdef32(pager_, def_.tdefPage, 20);
  int64_t newCounter = counter;
  for (size_t i = 0; i < values.size(); ++i) {
    const Column& c = def_.columns[i];
    if (c.type == ColumnType::Boolean && isNull(values[i])) values[i] = false;
    if (c.type == ColumnType::Long && (c.flags & kColumnAutoLong)) {
      if (isNull(values[i])) values[i] = int64_t{newCounter + 1};
      if (auto n = std::get_if<int64_t>(&values[i])) newCounter = std::max(newCounter, *n);
    }
    if (c.type == ColumnType::Guid && (c.flags & kColumnAutoGuid) && isNull(values[i])) {
      std::random_device rd;
      Guid g;
      for (auto& b : g.bytes) b = static_cast<uint8_t>(rd());
      values[i] = g;
    }
    checkValue(def_, c, values[i]);
  }
  std::vector<std::string> keys = keysOf(values);
  // Unique keys are checked before anything changes (inserts take no
  // savepoint: a failure after this point means a damaged file, and the
  // transaction is rolled back as a whole).
  for (size_t i = 0; i < def_.realIndexes.size(); ++i) {
    const RealIndex& ix = def_.realIndexes[i];
    if (!ix.unique() || keys[i].empty() || keys[i].find_first_not_of(std::string("\x00\xFF", 2)) == std::string::npos)
      continue;
    if (IndexWriter(pager_, IndexTarget(def_, i), indexCache_).hasKey(keys[i])) {
      std::string name = "?";
      for (const LogicalIndex& l : def_.logicalIndexes)
        if (l.realIndex == ix.number) name = l.name;
      throw Error("table '" + def_.name + "' already has a row with this key in unique index '" + name + "'");
    }
  }
  {
    // Fixed and variable parts; long values go last, inline while they fit.
    std::vector<std::vector<uint8_t>> stored(values.size());
    std::vector<bool> present(values.size(), false);
    size_t base = 2 + (def_.maxCols + 7) / 8 + 2 * def_.numVarCols + 4;
    for (size_t i = 0; i < values.size(); ++i) {
      const Column& c = def_.columns[i];
      if (c.type == ColumnType::Boolean) {
        present[i] = std::get<bool>(values[i]);
        continue;
      }
      if (isNull(values[i])) continue;
      present[i] = true;
      if (isLongValue(c.type)) continue;
      if (c.isFixed()) continue;  // written straight into the row below
      stored[i] = c.type == ColumnType::Text ? textBytes(c, values[i]) : std::get<Bytes>(values[i]);
      base += stored[i].size();
    }
    size_t fixedSize = 0;
    for (const Column& c : def_.columns)
      if (c.isFixed() && c.type != ColumnType::Boolean) fixedSize = std::max<size_t>(fixedSize, c.fixedOffset + c.length);
    base += fixedSize;
    size_t longValues = 0;
    for (size_t i = 0; i < values.size(); ++i) longValues += present[i] && isLongValue(def_.columns[i].type) ? 1 : 0;
    if (base + 12 * longValues > kRowLimit)
      throw Error("a row of table '" + def_.name + "' would be longer than a page holds");
    size_t budget = kRowLimit - base - 12 * longValues;
    for (size_t i = 0; i < values.size(); ++i)
      if (present[i] && isLongValue(def_.columns[i].type)) stored[i] = storeValue(def_.columns[i], values[i], budget);

    // Assemble the row (FORMAT 5.3).
    std::vector<uint8_t> row(2 + fixedSize, 0);
    put16(row.data(), def_.maxCols);
    for (size_t i = 0; i < values.size(); ++i) {
      const Column& c = def_.columns[i];
      if (present[i] && c.isFixed() && c.type != ColumnType::Boolean) putFixed(c, values[i], row.data() + 2 + c.fixedOffset);
    }
    if (def_.numVarCols > 0) {
      std::vector<uint16_t> starts(def_.numVarCols);
      for (uint16_t slot = 0; slot < def_.numVarCols; ++slot) {
        starts[slot] = static_cast<uint16_t>(row.size());
        for (size_t i = 0; i < values.size(); ++i) {
          const Column& c = def_.columns[i];
          if (!c.isFixed() && c.type != ColumnType::Boolean && c.varIndex == slot && present[i])
            row.insert(row.end(), stored[i].begin(), stored[i].end());
        }
      }
      uint16_t eod = static_cast<uint16_t>(row.size());
      uint8_t two[2];
      put16(two, eod);
      row.insert(row.end(), two, two + 2);
      for (size_t slot = def_.numVarCols; slot-- > 0;) {
        put16(two, starts[slot]);
        row.insert(row.end(), two, two + 2);
      }
      put16(two, def_.numVarCols);
      row.insert(row.end(), two, two + 2);
    }
    std::vector<uint8_t> mask((def_.maxCols + 7) / 8, 0);
    for (size_t i = 0; i < values.size(); ++i)
      if (present[i]) mask[def_.columns[i].number / 8] = static_cast<uint8_t>(mask[def_.columns[i].number / 8] | (1u << (def_.columns[i].number % 8)));
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > kRowLimit) throw Error("a row of table '" + def_.name + "' would be " + std::to_string(row.size()) + " bytes, more than a page holds");

    RowPointer at = putRow(row, def_.tdefPage, def_.ownedMap, def_.freeMap, true);
    uint8_t* tdef = pager_.change(def_.tdefPage);
    for (size_t i = 0; i < def_.realIndexes.size(); ++i) {
      if (keys[i].empty()) continue;
      const RealIndex& ix = def_.realIndexes[i];
      // Keys of nulls only never collide in a unique index.
      bool unique = ix.unique() && keys[i].find_first_not_of(std::string("\x00\xFF", 2)) != std::string::npos;
      if (!unique) {
        indexCache_.holdBack(pager_, IndexTarget(def_, i), keys[i], at);
        continue;
      }
      bool distinct;
      try {
        distinct = IndexWriter(pager_, IndexTarget(def_, i), indexCache_).insert(keys[i], at, unique);
      } catch (const IndexWriter::DuplicateKey&) {
        std::string name = "?";
        for (const LogicalIndex& l : def_.logicalIndexes)
          if (l.realIndex == ix.number) name = l.name;
        throw Error("table '" + def_.name + "' already has a row with this key in unique index '" + name + "'");
      }
      if (distinct) {
        tdef = pager_.change(def_.tdefPage);
        put32(tdef + 63 + 12 * i + 4, le32(tdef + 63 + 12 * i + 4) + 1);
      }
    }
    tdef = pager_.change(def_.tdefPage);
    put32(tdef + 16, le32(tdef + 16) + 1);
    if (newCounter != counter) put32(tdef + 20, static_cast<uint32_t>(newCounter));
    return at;
  }
}

RowValues TableWriter::readRow(RowPointer at) const {
  RowCursor cur(table_);
  if (!cur.moveTo(at))
    throw Error("table '" + def_.name + "' has no row " + std::to_string(at.row) + " on page " + std::to_string(at.page));
  RowValues values;
  for (const Column& c : def_.columns) values.push_back(isLongValue(c.type) ? Value{} : cur.value(c));
  for (size_t i = 0; i < def_.columns.size(); ++i)
    if (isLongValue(def_.columns[i].type))
      for (const RealIndex& ix : def_.realIndexes)
        for (const IndexColumn& ic : ix.columns)
          if (ic.columnNumber == def_.columns[i].number) values[i] = cur.value(def_.columns[i]);
  return values;
}

void TableWriter::releaseLongValues(RowPointer at) {
  struct Collect : LvalRowVisitor {
    std::vector<RowPointer> rows;
    void lvalRow(RowPointer where) override { rows.push_back(where); }
  } collect;
  RowCursor cur(table_);
  cur.moveTo(at);
  for (const Column& c : def_.columns) {
    if (!isLongValue(c.type)) continue;
    ValueBytes b = cur.row().bytes(c);
    if (!b.data || b.length < 12) continue;
    std::vector<uint8_t> ignored;
    readLongValue(pager_, b.data, b.length, cur.position().page, ignored, &collect);
  }
  for (RowPointer r : collect.rows) removeRow(pager_, r.page, r.row);
}

void TableWriter::remove(RowPointer at) {
  checkWritable();
  RowValues values = readRow(at);
  std::vector<std::string> keys = keysOf(values);
  size_t sp = pager_.savepoint();
  try {
    for (size_t i = 0; i < def_.realIndexes.size(); ++i)
      if (!keys[i].empty()) IndexWriter(pager_, IndexTarget(def_, i), indexCache_).remove(keys[i], at);
    releaseLongValues(at);
    DataPageView page = dataPage(pager_, at.page);
    RowSlot slot = page.slot(at.row, pager_.path());
    if (slot.overflow() && !slot.deleted()) {
      RowPointer target = RowPointer::fromLe(page.bytes + slot.start);
      removeRow(pager_, target.page, target.row);
    }
    removeRow(pager_, at.page, at.row);
    if (dataPage(pager_, at.page).freeSpace() >= kKeepInFreeMap && !usageMapHas(pager_, def_.freeMap, at.page))
      addToMap(pager_, def_.freeMap, at.page);
    uint8_t* tdef = pager_.change(def_.tdefPage);
    put32(tdef + 16, le32(tdef + 16) - 1);
    pager_.release(sp);
  } catch (...) {
    pager_.rollbackTo(sp);
    pager_.release(sp);
    throw;
  }
}

}  // namespace jet
