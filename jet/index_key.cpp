#include "index_key.h"

#include <cstring>

#include "collation.h"
#include "error.h"
#include "text_codec.h"

namespace jet {

namespace {

void appendInverted(std::string& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<char>(~static_cast<unsigned char>(out[i]));
}

void appendBigEndian(std::string& out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Two's complement, big-endian, top bit flipped.
void appendSigned(std::string& out, int64_t v, int bytes) {
  uint64_t u = static_cast<uint64_t>(v);
  u ^= uint64_t{1} << (8 * bytes - 1);
  appendBigEndian(out, u, bytes);
}

// IEEE big-endian: positive values get the sign bit set, negative values are
// inverted, so byte order follows numeric order.
void appendFloating(std::string& out, uint64_t bits, int bytes) {
  size_t start = out.size();
  appendBigEndian(out, bits, bytes);
  if (static_cast<unsigned char>(out[start]) & 0x80)
    appendInverted(out, start);
  else
    out[start] = static_cast<char>(static_cast<unsigned char>(out[start]) | 0x80);
}

// Binary: 8-byte groups, 09 after each full group that is not last, the
// last group zero-padded and followed by its length. Descending inverts all
// but the 09 markers.
void appendBinary(std::string& out, const uint8_t* p, size_t n, bool ascending) {
  size_t i = 0;
  while (i < n) {
    size_t take = std::min<size_t>(8, n - i);
    size_t start = out.size();
    out.append(reinterpret_cast<const char*>(p + i), take);
    out.append(8 - take, '\0');
    bool last = i + take >= n;
    out.push_back(static_cast<char>(last ? take : 9));
    if (!ascending) {
      size_t end = last ? out.size() : out.size() - 1;
      for (size_t k = start; k < end; ++k) out[k] = static_cast<char>(~static_cast<unsigned char>(out[k]));
    }
    i += take;
  }
}

CollationEntry surrogateEntry(char16_t c) {
  CollationEntry e{};
  e.kind = 'I';
  uint32_t v;
  if (c < 0xDC00) {
    v = static_cast<uint32_t>(c) - 10238;
  } else {
    uint32_t o = (static_cast<uint32_t>(c) - 0xDC00) % 1024;
    uint32_t k = o < 8 ? 9992 : o < 262 ? 9990 : o < 516 ? 9988 : o < 770 ? 9986 : 9984;
    v = static_cast<uint32_t>(c) - k;
  }
  e.inlineLength = 2;
  e.inlineBytes[0] = static_cast<uint8_t>(v >> 8);
  e.inlineBytes[1] = static_cast<uint8_t>(v);
  e.extraLength = 1;
  e.extraBytes[0] = 0x3F;
  return e;
}

}  // namespace

std::string encodeTextKey(const std::u16string& full, bool ascending) {
  std::u16string s = full.substr(0, 255);
  while (!s.empty() && s.back() == u' ') s.pop_back();

  std::string inl, extra, unprint, crazy;
  bool haveExtra = false, haveUnprint = false, haveCrazy = false;
  size_t extraChars = 0, pos = 0;
  int unprintPrefix = 0;
  for (char16_t c : s) {
    CollationEntry e = (c >= 0xD800 && c <= 0xDFFF) ? surrogateEntry(c) : kGeneralLegacy[c];
    if (e.kind == 'X') continue;
    size_t here = pos;
    if (e.inlineLength > 0) {
      inl.append(reinterpret_cast<const char*>(e.inlineBytes), e.inlineLength);
      ++pos;
    }
    if (e.kind == 'S') continue;
    if (e.extraLength > 0 || e.kind == 'P') {
      if (!haveExtra) {
        haveExtra = true;
        extraChars = 0;
      }
      if (extraChars < here) {
        extra.append(here - extraChars, '\x02');
        extraChars = here;
      }
      if (e.extraLength > 0) {
        extra.append(reinterpret_cast<const char*>(e.extraBytes), e.extraLength);
        ++extraChars;
      } else if (!extra.empty()) {
        extra.back() = static_cast<char>(static_cast<unsigned char>(extra.back()) + e.code);
      } else {
        extra.push_back(static_cast<char>(e.code));
        unprintPrefix = 1;
      }
    }
    if (e.kind == 'U') {
      haveUnprint = true;
      size_t o = here;
      if (haveExtra) o = extra.size() + (here - extraChars) - static_cast<size_t>(unprintPrefix);
      uint32_t v = static_cast<uint32_t>(7 + 4 * o) | 0x8000;
      unprint.push_back(static_cast<char>((v >> 8) & 0xFF));
      unprint.push_back(static_cast<char>(v & 0xFF));
      unprint.push_back('\x06');
      unprint.push_back(static_cast<char>(e.code));
    }
    if (e.kind == 'Z') {
      haveCrazy = true;
      crazy.push_back(static_cast<char>(e.crazy));
    }
  }

  std::string out = inl;
  out.push_back('\x01');
  if (haveExtra)
    while (!extra.empty() && static_cast<unsigned char>(extra.back()) <= 2) extra.pop_back();
  if (!extra.empty() || haveUnprint || haveCrazy) {
    out += extra;
    if (haveUnprint || haveCrazy) {
      out += "\x01\x01";
      if (haveCrazy) {
        while (!crazy.empty() && crazy.back() == 3) crazy.pop_back();
        for (size_t i = 0; i < crazy.size(); i += 3) {
          unsigned c1 = static_cast<unsigned char>(crazy[i]);
          unsigned c2 = i + 1 < crazy.size() ? static_cast<unsigned char>(crazy[i + 1]) : 0;
          unsigned c3 = i + 2 < crazy.size() ? static_cast<unsigned char>(crazy[i + 2]) : 0;
          out.push_back(static_cast<char>(0x80 | (c1 << 4) | (c2 << 2) | c3));
        }
        out += "\xFF\x02\x80\xFF\x80";
        if (haveUnprint) out.push_back('\xFF');
      }
      if (haveUnprint) {
        out.push_back('\x01');
        out += unprint;
      }
    }
  }
  if (!ascending) {
    out.push_back('\0');
    appendInverted(out, 0);
  }
  out.push_back('\0');
  return out;
}

void appendKeyPart(std::string& out, const Column& c, bool asc, const Value& v) {
  if (c.type == ColumnType::Boolean) {
    bool b = std::holds_alternative<bool>(v) && std::get<bool>(v);
    out.push_back(asc ? '\x7F' : '\x80');
    out.push_back((b == asc) ? '\x00' : '\xFF');
    return;
  }
  if (isNull(v)) {
    out.push_back(asc ? '\x00' : '\xFF');
    return;
  }
  out.push_back(asc ? '\x7F' : '\x80');
  size_t start = out.size();
  bool invertForDescending = true;
  switch (c.type) {
    case ColumnType::Byte: out.push_back(static_cast<char>(std::get<int64_t>(v) & 0xFF)); break;
    case ColumnType::Integer: appendSigned(out, std::get<int64_t>(v), 2); break;
    case ColumnType::Long: appendSigned(out, std::get<int64_t>(v), 4); break;
    case ColumnType::Currency: appendSigned(out, std::get<Currency>(v).scaled, 8); break;
    case ColumnType::Single: {
      float f = std::get<float>(v);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      appendFloating(out, bits, 4);
      break;
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
      double d = c.type == ColumnType::Double ? std::get<double>(v) : std::get<DateTime>(v).days;
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      appendFloating(out, bits, 8);
      break;
    }
    case ColumnType::Text:
    case ColumnType::Memo:
      out += encodeTextKey(textUnits(v), asc);
      invertForDescending = false;  // the text encoder inverts itself
      break;
    case ColumnType::Guid: {
      const auto& b = std::get<Guid>(v).bytes;
      uint8_t text[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                          b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
      appendBinary(out, text, 16, asc);
      invertForDescending = false;
      break;
    }
    case ColumnType::Decimal: {
      const Decimal& d = std::get<Decimal>(v);
      out.push_back(d.negative ? '\x00' : '\xFF');
      size_t magStart = out.size();
      for (int i = 15; i >= 0; --i) out.push_back(static_cast<char>((d.magnitude >> (8 * i)) & 0xFF));
      // Jet 4 inverts the magnitude of negative values ascending and of
      // positive values descending.
      if (d.negative == asc) appendInverted(out, magStart);
      invertForDescending = false;
      break;
    }
    default: {
      const Bytes* b = std::get_if<Bytes>(&v);
      if (!b) throw Error("column '" + c.name + "' holds a value its index cannot encode");
      appendBinary(out, b->data(), b->size(), asc);
      invertForDescending = false;
      break;
    }
  }
  if (!asc && invertForDescending) appendInverted(out, start);
}

SortOrder effectiveSortOrder(const Column& c, SortOrder databaseDefault) {
  if (c.sortOrder.lcid == 0) return databaseDefault;
  return c.sortOrder;
}

bool canEncodeKeys(const TableDef& def, const RealIndex& index, SortOrder databaseDefault, std::string* why) {
  for (const IndexColumn& ic : index.columns) {
    const Column* c = def.columnByNumber(ic.columnNumber);
    if (!c) continue;
    if (c->type != ColumnType::Text && c->type != ColumnType::Memo) continue;
    SortOrder order = effectiveSortOrder(*c, databaseDefault);
    if (!order.isGeneralLegacy()) {
      if (why)
        *why = "index on '" + c->name + "' of table '" + def.name + "' uses sort order " + std::to_string(order.lcid) +
               " version " + std::to_string(order.version) +
               "; only General (legacy) text keys can be computed";
      return false;
    }
  }
  return true;
}

std::string encodeKey(const TableDef& def, const RealIndex& index, const std::vector<Value>& values) {
  std::string out;
  for (size_t i = 0; i < index.columns.size(); ++i) {
    const Column* c = def.columnByNumber(index.columns[i].columnNumber);
    if (!c) throw Error("index of table '" + def.name + "' names a missing column");
    appendKeyPart(out, *c, index.columns[i].ascending, i < values.size() ? values[i] : Value{});
  }
  return out;
}

}  // namespace jet
