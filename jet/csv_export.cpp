#include "csv_export.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "bytes.h"
#include "error.h"
#include "text_codec.h"

namespace jet {

namespace {

// Output buffered in one string, flushed in large blocks.
class Sink {
 public:
  explicit Sink(std::FILE* f) : file_(f) { buf_.reserve(kFlushAt + 65536); }
  ~Sink() { flush(); }
  std::string& buf() { return buf_; }
  void maybeFlush() {
    if (file_ && buf_.size() >= kFlushAt) flush();
  }
  void flush() {
    if (file_ && !buf_.empty()) {
      if (std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size()) throw Error("cannot write the CSV output");
      buf_.clear();
    }
  }

 private:
  static constexpr size_t kFlushAt = 1 << 20;
  std::FILE* file_;
  std::string buf_;
};

void appendInt(std::string& out, int64_t v) {
  char tmp[24];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
  out.append(tmp, r.ptr);
}

void appendPrintf(std::string& out, const char* fmt, double v) {
  char tmp[64];
  int n = std::snprintf(tmp, sizeof tmp, fmt, v);
  out.append(tmp, static_cast<size_t>(n));
}

// Quoted field: the quote character doubled inside.
void appendQuoted(std::string& out, const char* p, size_t n) {
  out.push_back('"');
  const char* end = p + n;
  while (p < end) {
    const char* q = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
    if (!q) {
      out.append(p, end);
      break;
    }
    out.append(p, q + 1);
    out.push_back('"');
    p = q + 1;
  }
  out.push_back('"');
}

// mm/dd/yy hh:mm:ss as mdb-export computes it: whole seconds rounded
// half up, values before 1899-12-30 or after year 2700 shown as zero fields.
void appendExportDate(std::string& out, double td) {
  struct tm t {};
  if (!(td < 0.0 || td > 1e6)) {
    CalendarTime c;
    long day = static_cast<long>(td);
    long secs = static_cast<long>((td - static_cast<double>(day)) * 86400.0 + 0.5);
    if (toCalendar(static_cast<double>(day), c)) {
      t.tm_year = c.year - 1900;
      t.tm_mon = c.month - 1;
      t.tm_mday = c.day;
    }
    t.tm_hour = static_cast<int>(secs / 3600);
    t.tm_min = static_cast<int>((secs / 60) % 60);
    t.tm_sec = static_cast<int>(secs % 60);
  }
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "\"%02d/%02d/%02d %02d:%02d:%02d\"", t.tm_mon + 1, t.tm_mday,
                ((t.tm_year % 100) + 100) % 100, t.tm_hour, t.tm_min, t.tm_sec);
  out.append(tmp);
}

void appendField(std::string& out, const RowCursor& cur, const Column& c, std::string& text,
                 std::vector<uint8_t>& bytes) {
  if (c.type == ColumnType::Boolean) {
    out.push_back(cur.row().maskBit(c.number) ? '1' : '0');
    return;
  }
  ValueBytes b = cur.row().bytes(c);
  if (!b.data) return;
  switch (c.type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      text.clear();
      cur.appendText(c, text);
      appendQuoted(out, text.data(), text.size());
      return;
    case ColumnType::Ole:
    case ColumnType::Binary:
      bytes.clear();
      cur.appendBytes(c, bytes);
      if (bytes.empty()) return;
      appendQuoted(out, reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return;
    default:
      break;
  }
  if (b.length < c.length) return;
  const uint8_t* p = b.data;
  switch (c.type) {
    case ColumnType::Byte: appendInt(out, p[0]); break;
    case ColumnType::Integer: appendInt(out, static_cast<int16_t>(le16(p))); break;
    case ColumnType::Long: appendInt(out, static_cast<int32_t>(le32(p))); break;
    case ColumnType::Single: appendPrintf(out, "%.8g", static_cast<double>(leFloat(p))); break;
    case ColumnType::Double: appendPrintf(out, "%.16g", leDouble(p)); break;
    case ColumnType::DateTime: appendExportDate(out, leDouble(p)); break;
    case ColumnType::Currency: {
      int64_t v = static_cast<int64_t>(le64(p));
      uint128 mag = v < 0 ? static_cast<uint128>(-(static_cast<int128>(v)))
                                    : static_cast<uint128>(v);
      out += decimalText(v < 0, mag, 4);
      break;
    }
    case ColumnType::Guid: {
      // mdb-export's form: the last two groups run together.
      std::string g = guidText(p);
      g.erase(24, 1);
      out.push_back('"');
      out += g;
      out.push_back('"');
      break;
    }
    case ColumnType::Decimal: {
      Decimal d = std::get<Decimal>(decodeFixed(c, p, b.length));
      out += decimalText(d.negative, d.magnitude, d.scale);
      break;
    }
    default: break;  // types mdb-export cannot show print as nothing
  }
}

void writeCsv(const Table& table, Sink& sink) {
  std::vector<const Column*> cols = table.def().columnsByNumber();
  std::string& out = sink.buf();
  for (size_t i = 0; i < cols.size(); ++i) {
    if (i) out.push_back(',');
    out += cols[i]->name;
  }
  out.push_back('\n');
  std::string text;
  std::vector<uint8_t> bytes;
  RowCursor cur = table.scan();
  while (cur.next()) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i) out.push_back(',');
      appendField(out, cur, *cols[i], text, bytes);
    }
    out.push_back('\n');
    sink.maybeFlush();
  }
}

}  // namespace

void exportCsv(const Table& table, std::FILE* out) {
  Sink sink(out);
  writeCsv(table, sink);
  sink.flush();
}

std::string exportCsv(const Table& table) {
  Sink sink(nullptr);
  writeCsv(table, sink);
  return std::move(sink.buf());
}

}  // namespace jet
