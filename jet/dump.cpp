#include "dump.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "error.h"
#include "text_codec.h"

namespace jet {

namespace {

// Byte order of UTF-8 equals code point order except that UTF-16 puts
// U+E000..U+FFFF after the supplementary planes; the dump orders text as
// UTF-16 code units.
bool lessUtf16Order(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    auto rank = [](unsigned char c) -> unsigned { return (c == 0xEE || c == 0xEF) ? c + 8u : c; };
    return rank(x) < rank(y);
  }
  return a.size() < b.size();
}

void escapeText(std::string& out, const std::string& s) {
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          char tmp[8];
          std::snprintf(tmp, sizeof tmp, "\\x%02X", c);
          out += tmp;
        } else {
          out.push_back(ch);
        }
    }
  }
}

template <typename F>
void appendShortest(std::string& out, F v) {
  char tmp[400];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed);
  out.append(tmp, r.ptr);
}

void appendHex(std::string& out, const Bytes& b) {
  static const char* digits = "0123456789ABCDEF";
  out += "0x";
  for (uint8_t x : b) {
    out.push_back(digits[x >> 4]);
    out.push_back(digits[x & 15]);
  }
}

void appendDate(std::string& out, double days) {
  CalendarTime c;
  if (!toCalendar(days, c)) {
    appendShortest(out, days);
    return;
  }
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
  out += tmp;
  if (c.nanos) {
    std::snprintf(tmp, sizeof tmp, ".%09lld", static_cast<long long>(c.nanos));
    std::string frac(tmp);
    while (frac.back() == '0') frac.pop_back();
    out += frac;
  }
}

std::string columnLine(const Column& c) {
  std::string s = "COLUMN " + c.name + " " + columnTypeName(c.type);
  if (c.type == ColumnType::Text) s += "(" + std::to_string(c.length / 2) + ")";
  if (c.isAutoNumber()) s += " AUTONUMBER";
  if (c.type == ColumnType::Text || c.type == ColumnType::Memo)
    s += c.isCompressible() ? " COMPRESSED" : " UNCOMPRESSED";
  return s;
}

std::vector<std::string> indexLines(const TableDef& def) {
  std::vector<std::string> lines;
  for (const LogicalIndex& l : def.logicalIndexes) {
    const RealIndex& ix = def.realIndexes[l.realIndex];
    std::string s = "INDEX " + l.name + " (";
    for (size_t i = 0; i < ix.columns.size(); ++i) {
      if (i) s += ", ";
      const Column* c = def.columnByNumber(ix.columns[i].columnNumber);
      s += c ? c->name : "?";
      if (!ix.columns[i].ascending) s += " DESC";
    }
    s += ")";
    if (l.kind == IndexKind::PrimaryKey) s += " PRIMARY";
    if (ix.unique()) s += " UNIQUE";
    if (ix.ignoreNulls()) s += " IGNORENULLS";
    if (l.kind == IndexKind::ForeignKey) s += " FOREIGN";
    lines.push_back(std::move(s));
  }
  std::sort(lines.begin(), lines.end(), lessUtf16Order);
  return lines;
}

// Sort key of a row: the first primary-key column's value.
struct SortKey {
  int rank = 0;  // 0 null, 1 number, 2 text or other
  double number = 0;
  std::string text;
};

SortKey sortKeyOf(const Value& v, const std::string& rendered) {
  SortKey k;
  if (isNull(v)) return k;
  if (auto p = std::get_if<int64_t>(&v)) { k.rank = 1; k.number = static_cast<double>(*p); return k; }
  if (auto p = std::get_if<double>(&v)) { k.rank = 1; k.number = *p; return k; }
  if (auto p = std::get_if<float>(&v)) { k.rank = 1; k.number = *p; return k; }
  if (auto p = std::get_if<Currency>(&v)) { k.rank = 1; k.number = static_cast<double>(p->scaled); return k; }
  if (auto p = std::get_if<DateTime>(&v)) { k.rank = 1; k.number = p->days; return k; }
  if (auto p = std::get_if<std::string>(&v)) { k.rank = 2; k.text = *p; return k; }
  k.rank = 2;
  k.text = rendered;
  return k;
}

void dumpTable(const Table& table, std::string& out) {
  const TableDef& def = table.def();
  std::vector<const Column*> cols = def.columnsByNumber();
  out += "TABLE " + def.name + "\n";
  for (const Column* c : cols) out += columnLine(*c) + "\n";
  for (const std::string& l : indexLines(def)) out += l + "\n";

  const Column* pkColumn = nullptr;
  if (const LogicalIndex* pk = def.primaryKey()) {
    const RealIndex& ix = def.realIndexes[pk->realIndex];
    if (!ix.columns.empty()) pkColumn = def.columnByNumber(ix.columns[0].columnNumber);
  }

  struct Line {
    SortKey key;
    std::string text;
  };
  std::vector<Line> rows;
  RowCursor cur = table.scan();
  while (cur.next()) {
    Line line;
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i) line.text.push_back('\t');
      Value v = cur.value(*cols[i]);
      std::string rendered = dumpValue(*cols[i], v);
      if (cols[i] == pkColumn) line.key = sortKeyOf(v, rendered);
      line.text += rendered;
    }
    rows.push_back(std::move(line));
  }
  std::sort(rows.begin(), rows.end(), [](const Line& a, const Line& b) {
    if (a.key.rank != b.key.rank) return a.key.rank < b.key.rank;
    if (a.key.rank == 1 && a.key.number != b.key.number) return a.key.number < b.key.number;
    if (a.key.rank == 2 && a.key.text != b.key.text) return lessUtf16Order(a.key.text, b.key.text);
    return lessUtf16Order(a.text, b.text);
  });

  out += "ROWS " + std::to_string(rows.size());
  if (pkColumn) out += " BY " + pkColumn->name;
  out += "\n";
  for (size_t i = 0; i < cols.size(); ++i) {
    if (i) out.push_back('\t');
    out += cols[i]->name;
  }
  out += "\n";
  for (const Line& l : rows) out += l.text + "\n";
  out += "\n";
}

std::string formatName(const Database& db) {
  // Jet 4 files that carry Access 2002/2003's storage table are "V2003".
  for (const CatalogEntry& e : db.catalog().entries)
    if (e.name == "MSysAccessStorage") return "V2003";
  return "V2000";
}

}  // namespace

std::string dumpValue(const Column& c, const Value& v) {
  std::string out;
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) out = "\\N";
        else if constexpr (std::is_same_v<T, bool>) out = x ? "true" : "false";
        else if constexpr (std::is_same_v<T, int64_t>) out = std::to_string(x);
        else if constexpr (std::is_same_v<T, Currency>) {
          uint128 mag = x.scaled < 0 ? static_cast<uint128>(-static_cast<int128>(x.scaled)) : static_cast<uint128>(x.scaled);
          out = decimalText(x.scaled < 0, mag, 4);
        } else if constexpr (std::is_same_v<T, float>) appendShortest(out, x);
        else if constexpr (std::is_same_v<T, double>) appendShortest(out, x);
        else if constexpr (std::is_same_v<T, DateTime>) appendDate(out, x.days);
        else if constexpr (std::is_same_v<T, std::string>) escapeText(out, x);
        else if constexpr (std::is_same_v<T, std::u16string>) escapeText(out, utf16ToUtf8(x));
        else if constexpr (std::is_same_v<T, Bytes>) appendHex(out, x);
        else if constexpr (std::is_same_v<T, Guid>) out = guidText(x.bytes.data());
        else if constexpr (std::is_same_v<T, Decimal>) out = decimalText(x.negative, x.magnitude, c.scale);
      },
      v);
  return out;
}

std::string dumpDatabase(const Database& db) {
  struct Entry {
    std::string upper;
    const CatalogEntry* entry;
  };
  std::vector<Entry> entries;
  for (const CatalogEntry& e : db.catalog().entries) {
    if (e.isSystem()) continue;
    entries.push_back(Entry{utf16ToUtf8(toUpperUtf16(utf8ToUtf16(e.name))), &e});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.upper != b.upper) return lessUtf16Order(a.upper, b.upper);
    return lessUtf16Order(a.entry->name, b.entry->name);
  });
  std::string out = "FORMAT " + formatName(db) + "\n";
  for (const Entry& e : entries) {
    if (e.entry->kind == CatalogEntry::Kind::Table) {
      dumpTable(db.table(*e.entry), out);
    } else {
      out += "LINKED TABLE " + e.entry->name + " -> " + e.entry->linkDatabase + " : " + e.entry->linkTable + "\n\n";
    }
  }
  return out;
}

void dumpDatabase(const Database& db, std::FILE* out) {
  std::string s = dumpDatabase(db);
  if (std::fwrite(s.data(), 1, s.size(), out) != s.size()) throw Error("cannot write the dump");
}

}  // namespace jet
