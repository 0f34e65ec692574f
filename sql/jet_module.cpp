#include "jet_module.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "jet/bytes.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/index_page.h"
#include "jet/long_value.h"
#include "jet/table_writer.h"
#include "jet/text_codec.h"
#include "like_pattern.h"
#include "sql_connection.h"
#include "sql_functions.h"

namespace sql {

std::string quoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string quoteLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out.push_back('\'');
    out.push_back(c);
  }
  return out + "'";
}

std::string declareLocalTable(const std::string& name) {
  return "CREATE VIRTUAL TABLE " + quoteIdentifier(name) + " USING jet('local')";
}

std::string declareLinkedTable(const std::string& name, const std::string& database, const std::string& remoteTable,
                               bool attached) {
  return "CREATE VIRTUAL TABLE " + quoteIdentifier(name) + " USING jet(" + quoteLiteral(attached ? "attached" : "stored") +
         ", " + quoteLiteral(database) + ", " + quoteLiteral(remoteTable) + ")";
}

namespace {

// Module arguments arrive as written: strip one level of SQL quoting.
std::string dequote(const char* arg) {
  std::string s(arg);
  if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
    char q = s.front();
    std::string out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      out.push_back(s[i]);
      if (s[i] == q && i + 2 < s.size() && s[i + 1] == q) ++i;
    }
    return out;
  }
  return s;
}

}  // namespace

const char* sqlType(jet::ColumnType t) {
  switch (t) {
    case jet::ColumnType::Boolean:
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long: return "INTEGER";
    case jet::ColumnType::Currency:
    case jet::ColumnType::Single:
    case jet::ColumnType::Double: return "REAL";
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
    case jet::ColumnType::DateTime:
    case jet::ColumnType::Guid:
    case jet::ColumnType::Decimal: return "TEXT";
    default: return "BLOB";
  }
}

namespace {

// Text and memo compare as Jet compares them.
std::string declaredType(jet::ColumnType t) {
  std::string type = sqlType(t);
  if (t == jet::ColumnType::Text || t == jet::ColumnType::Memo) type += " COLLATE JETTEXT";
  return type;
}

bool isIntegerColumn(jet::ColumnType t) {
  return t == jet::ColumnType::Byte || t == jet::ColumnType::Integer || t == jet::ColumnType::Long;
}
bool isTextColumn(jet::ColumnType t) { return t == jet::ColumnType::Text || t == jet::ColumnType::Memo; }

struct Vtab : sqlite3_vtab {
  SqlConnection* connection = nullptr;
  jet::Database* db = nullptr;  // the file the table lives in
  const jet::Table* table = nullptr;
  std::vector<const jet::Column*> columns;  // SQL column i
  std::string name;
  bool attachedLink = false;
  bool storedLink = false;
  std::map<std::u16string, std::shared_ptr<LikePattern>> patterns;
};

// Plan encoding: idxNum = real index + 1 (0 = full scan); idxStr lists one
// letter per argv entry: 'E' equality, 'I' IN list, 'L' LIKE (then the SQL
// column number), and a trailing 'R' to return index order reversed, 'O' to
// return it in order.
struct Cursor : sqlite3_vtab_cursor {
  Vtab* vt = nullptr;
  std::optional<jet::RowCursor> rows;
  bool useList = false;
  std::vector<jet::RowPointer> list;
  size_t listPos = 0;
  struct Like {
    const jet::Column* column;
    std::shared_ptr<LikePattern> pattern;
  };
  std::vector<Like> likes;
  bool eof = true;
  std::vector<uint8_t> lvBuffer;
  std::u16string textBuffer;
  std::string utf8Buffer;
};

void setError(sqlite3_vtab* vt, const std::string& message) {
  sqlite3_free(vt->zErrMsg);
  vt->zErrMsg = sqlite3_mprintf("%s", message.c_str());
}

int connectTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
  auto* connection = static_cast<SqlConnection*>(aux);
  auto vt = std::make_unique<Vtab>();
  vt->connection = connection;
  vt->name = argv[2];
  try {
    std::string kind = argc > 3 ? dequote(argv[3]) : "local";
    if (kind == "local") {
      vt->db = &connection->database();
      vt->table = &vt->db->table(vt->name);
    } else {
      if (argc < 6) throw jet::Error("linked table '" + vt->name + "' needs a database and a table name");
      vt->db = &connection->linkedDatabase(dequote(argv[4]));
      vt->table = &vt->db->table(dequote(argv[5]));
      vt->attachedLink = kind == "attached";
      vt->storedLink = kind == "stored";
    }
    vt->columns = vt->table->def().columnsByNumber();
    std::string ddl = "CREATE TABLE x(";
    for (size_t i = 0; i < vt->columns.size(); ++i) {
      if (i) ddl += ", ";
      ddl += quoteIdentifier(vt->columns[i]->name) + " " + declaredType(vt->columns[i]->type);
    }
    ddl += ")";
    int rc = sqlite3_declare_vtab(db, ddl.c_str());
    if (rc != SQLITE_OK) throw jet::Error(std::string("cannot declare table '") + vt->name + "': " + sqlite3_errmsg(db));
  } catch (const std::exception& e) {
    *err = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
  *out = vt.release();
  return SQLITE_OK;
}

int disconnectTable(sqlite3_vtab* p) {
  delete static_cast<Vtab*>(p);
  return SQLITE_OK;
}

int destroyTable(sqlite3_vtab* p) {
  auto* vt = static_cast<Vtab*>(p);
  if (!vt->attachedLink) {
    setError(p, vt->storedLink ? "linked table '" + vt->name + "' is stored in the database file and cannot be dropped"
                               : "table '" + vt->name + "' cannot be dropped: the engine does not drop tables");
    return SQLITE_ERROR;
  }
  vt->connection->forgetLink(vt->name);
  delete vt;
  return SQLITE_OK;
}

// The index whose leading column is `column`, if any can seek on it.
const jet::RealIndex* seekableIndex(const Vtab* vt, const jet::Column* column) {
  const jet::TableDef& def = vt->table->def();
  if (!isIntegerColumn(column->type) && column->type != jet::ColumnType::Text) return nullptr;
  const jet::RealIndex* best = nullptr;
  for (const jet::RealIndex& ix : def.realIndexes) {
    if (ix.columns.empty() || ix.columns[0].columnNumber != column->number) continue;
    if (!jet::canEncodeKeys(def, ix, vt->db->header().sortOrder, nullptr)) continue;
    if (!best || ix.columns.size() < best->columns.size() || (ix.unique() && !best->unique())) best = &ix;
  }
  return best;
}

int bestIndex(sqlite3_vtab* p, sqlite3_index_info* info) {
  auto* vt = static_cast<Vtab*>(p);
  const jet::TableDef& def = vt->table->def();
  const double rows = std::max<double>(def.rowCount, 1);

  // Choose the most selective usable equality or IN on an indexed column.
  int chosen = -1;
  const jet::RealIndex* chosenIndex = nullptr;
  double chosenRows = rows;
  bool chosenIn = false;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.iColumn < 0 || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    const jet::Column* column = vt->columns[static_cast<size_t>(c.iColumn)];
    const jet::RealIndex* ix = seekableIndex(vt, column);
    if (!ix) continue;
    bool in = sqlite3_vtab_in(info, i, -1) != 0;
    double perKey = ix->unique() && ix->columns.size() == 1 ? 1.0 : std::max(1.0, rows / std::max<double>(ix->distinctCount, 1));
    double expect = perKey * (in ? 4.0 : 1.0);
    if (chosen < 0 || expect < chosenRows) {
      chosen = i;
      chosenIndex = ix;
      chosenRows = expect;
      chosenIn = in;
    }
  }

  std::string plan;
  int argv = 0;
  if (chosen >= 0) {
    info->aConstraintUsage[chosen].argvIndex = ++argv;
    info->aConstraintUsage[chosen].omit = 0;  // SQLite re-checks: text keys fold more than `=`
    if (chosenIn) sqlite3_vtab_in(info, chosen, 1);
    plan += chosenIn ? 'I' : 'E';
    info->idxNum = static_cast<int>(chosenIndex->number) + 1;
    info->estimatedRows = static_cast<sqlite3_int64>(std::ceil(chosenRows));
    info->estimatedCost = std::log2(rows + 1) * 4 + chosenRows * 2;
    if (chosenIndex->unique() && chosenIndex->columns.size() == 1 && !chosenIn) {
      info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
      // One row by its key: about what a scan pays for a row or two. So a
      // join looks up its inner rows by key after filtering a scan of the
      // outer table, rather than walking the outer table through an index.
      info->estimatedCost = 10;
    }
  } else {
    info->idxNum = 0;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    info->estimatedCost = rows * 8;
  }

  // LIKE on a text or memo column: evaluated in the scan on stored text.
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.iColumn < 0 || c.op != SQLITE_INDEX_CONSTRAINT_LIKE) continue;
    if (!isTextColumn(vt->columns[static_cast<size_t>(c.iColumn)]->type)) continue;
    info->aConstraintUsage[i].argvIndex = ++argv;
    info->aConstraintUsage[i].omit = 1;
    plan += 'L';
    plan += std::to_string(c.iColumn);
    plan += ',';
    info->estimatedRows = std::max<sqlite3_int64>(1, info->estimatedRows / 4);
  }

  // ORDER BY on one integer column: served by an equality on it (every row
  // has the same value) or by walking an index on it.
  if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn >= 0) {
    const jet::Column* column = vt->columns[static_cast<size_t>(info->aOrderBy[0].iColumn)];
    bool desc = info->aOrderBy[0].desc != 0;
    if (chosen >= 0 && !chosenIn && info->aConstraint[chosen].iColumn == info->aOrderBy[0].iColumn) {
      info->orderByConsumed = 1;
    } else if (chosen < 0 && isIntegerColumn(column->type)) {
      const jet::RealIndex* ix = seekableIndex(vt, column);
      if (ix) {
        bool ascendingIndex = ix->columns[0].ascending;
        info->idxNum = static_cast<int>(ix->number) + 1;
        plan += (desc == ascendingIndex) ? 'R' : 'O';
        info->orderByConsumed = 1;
        // Walking an index visits the data pages out of order: dearer
        // than a scan followed by a sort.
        info->estimatedCost = rows * 9;
      }
    }
  }
  info->idxStr = sqlite3_mprintf("%s", plan.c_str());
  info->needToFreeIdxStr = 1;
  return SQLITE_OK;
}

int openCursor(sqlite3_vtab* p, sqlite3_vtab_cursor** out) {
  auto* c = new Cursor();
  c->vt = static_cast<Vtab*>(p);
  *out = c;
  return SQLITE_OK;
}

int closeCursor(sqlite3_vtab_cursor* p) {
  delete static_cast<Cursor*>(p);
  return SQLITE_OK;
}

// The stored bytes of a text or memo value (memo read through its long
// value, chains assembled into `buffer`); false when null.
bool storedText(const Cursor* c, const jet::Column& col, jet::ValueBytes& out, std::vector<uint8_t>& buffer) {
  jet::ValueBytes b = c->rows->row().bytes(col);
  if (!b.data) return false;
  if (col.type != jet::ColumnType::Memo) {
    out = b;
    return true;
  }
  if (b.length == 0) {
    out = jet::ValueBytes{b.data, 0};
    return true;
  }
  const jet::Pager& pager = c->vt->db->pager();
  if (auto inPlace = jet::longValueInPlace(pager, b.data, b.length, c->rows->position().page)) {
    out = jet::ValueBytes{inPlace->data(), inPlace->size()};
    return true;
  }
  buffer.clear();
  jet::readLongValue(pager, b.data, b.length, c->rows->position().page, buffer);
  out = jet::ValueBytes{buffer.data(), buffer.size()};
  return true;
}

bool passesLikes(Cursor* c) {
  for (const Cursor::Like& like : c->likes) {
    jet::ValueBytes b;
    if (!storedText(c, *like.column, b, c->lvBuffer)) return false;
    if (!like.pattern->matchesStored(b.data, b.length)) return false;
  }
  return true;
}

// Moves to the next row of the plan that passes the LIKE filters.
void advance(Cursor* c) {
  for (;;) {
    bool have;
    if (c->useList) {
      have = false;
      while (c->listPos < c->list.size()) {
        if (c->rows->moveTo(c->list[c->listPos++])) {
          have = true;
          break;
        }
      }
    } else {
      have = c->rows->next();
    }
    if (!have) {
      c->eof = true;
      return;
    }
    c->vt->connection->countRowRead();
    if (c->likes.empty() || passesLikes(c)) {
      c->eof = false;
      return;
    }
  }
}

// The key part of a constraint value for `column`; nullopt when no row can
// hold that value (so the seek finds nothing).
std::optional<std::string> keyPart(const jet::Column& column, bool ascending, sqlite3_value* v) {
  std::string key;
  if (isIntegerColumn(column.type)) {
    int type = sqlite3_value_numeric_type(v);
    int64_t n;
    if (type == SQLITE_INTEGER) {
      n = sqlite3_value_int64(v);
    } else if (type == SQLITE_FLOAT) {
      double d = sqlite3_value_double(v);
      if (d != std::floor(d) || std::fabs(d) > 9e18) return std::nullopt;
      n = static_cast<int64_t>(d);
    } else {
      return std::nullopt;
    }
    int64_t lo = column.type == jet::ColumnType::Byte ? 0 : column.type == jet::ColumnType::Integer ? INT16_MIN : INT32_MIN;
    int64_t hi = column.type == jet::ColumnType::Byte ? 255 : column.type == jet::ColumnType::Integer ? INT16_MAX : INT32_MAX;
    if (n < lo || n > hi) return std::nullopt;
    jet::appendKeyPart(key, column, ascending, jet::Value{n});
    return key;
  }
  if (sqlite3_value_type(v) == SQLITE_NULL) return std::nullopt;
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
  jet::appendKeyPart(key, column, ascending, jet::Value{std::string(text ? text : "")});
  return key;
}

int filter(sqlite3_vtab_cursor* p, int idxNum, const char* idxStr, int, sqlite3_value** argv) {
  auto* c = static_cast<Cursor*>(p);
  Vtab* vt = c->vt;
  try {
    c->rows.emplace(*vt->table);
    c->useList = false;
    c->list.clear();
    c->listPos = 0;
    c->likes.clear();
    const jet::TableDef& def = vt->table->def();
    const jet::RealIndex* index = idxNum > 0 ? &def.realIndexes.at(static_cast<size_t>(idxNum - 1)) : nullptr;
    std::string plan = idxStr ? idxStr : "";
    int arg = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
      char op = plan[i];
      if (op == 'E' || op == 'I') {
        const jet::Column& column = *def.columnByNumber(index->columns[0].columnNumber);
        bool asc = index->columns[0].ascending;
        jet::IndexReader reader(vt->db->pager(), def, *index);
        auto seek = [&](sqlite3_value* value) {
          if (auto key = keyPart(column, asc, value)) {
            std::vector<jet::RowPointer> found = reader.seekPrefix(*key);
            c->list.insert(c->list.end(), found.begin(), found.end());
          }
        };
        sqlite3_value* v = argv[arg++];
        if (op == 'E') {
          seek(v);
        } else {
          sqlite3_value* item = nullptr;
          for (int rc = sqlite3_vtab_in_first(v, &item); rc == SQLITE_OK && item; rc = sqlite3_vtab_in_next(v, &item))
            seek(item);
          // A value listed twice must not return its rows twice.
          std::sort(c->list.begin(), c->list.end());
          c->list.erase(std::unique(c->list.begin(), c->list.end()), c->list.end());
        }
        c->useList = true;
      } else if (op == 'L') {
        size_t comma = plan.find(',', i);
        size_t column = std::stoul(plan.substr(i + 1, comma - i - 1));
        i = comma;
        sqlite3_value* v = argv[arg++];
        if (sqlite3_value_type(v) == SQLITE_NULL) {  // LIKE NULL matches nothing
          c->eof = true;
          return SQLITE_OK;
        }
        std::u16string pattern = valueUtf16(v);
        auto& cached = vt->patterns[pattern];
        if (!cached) cached = std::make_shared<LikePattern>(pattern);
        c->likes.push_back(Cursor::Like{vt->columns[column], cached});
      } else if (op == 'O' || op == 'R') {
        jet::IndexReader reader(vt->db->pager(), def, *index);
        reader.scanAll([&](const jet::IndexEntryRef& e) {
          c->list.push_back(e.row);
          return true;
        });
        if (op == 'R') std::reverse(c->list.begin(), c->list.end());
        c->useList = true;
      }
    }
    advance(c);
  } catch (const std::exception& e) {
    setError(vt, e.what());
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* p) {
  auto* c = static_cast<Cursor*>(p);
  try {
    advance(c);
  } catch (const std::exception& e) {
    setError(c->vt, e.what());
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* p) { return static_cast<Cursor*>(p)->eof ? 1 : 0; }

void resultDate(sqlite3_context* ctx, double days) {
  jet::CalendarTime t;
  if (!jet::toCalendar(days, t)) {
    sqlite3_result_double(ctx, days);
    return;
  }
  char tmp[64];
  int n = std::snprintf(tmp, sizeof tmp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                        t.second);
  if (t.nanos) {
    char frac[16];
    std::snprintf(frac, sizeof frac, ".%09lld", static_cast<long long>(t.nanos));
    std::string f(frac);
    while (f.back() == '0') f.pop_back();
    n += std::snprintf(tmp + n, sizeof tmp - static_cast<size_t>(n), "%s", f.c_str());
  }
  sqlite3_result_text(ctx, tmp, n, SQLITE_TRANSIENT);
}

// Text values go to SQLite as UTF-16LE pointing into the file's pages
// (no copy, no conversion unless a consumer asks for UTF-8); compressed
// text and chained memos are decoded into the cursor's buffers first.
void resultText(Cursor* c, sqlite3_context* ctx, const jet::Column& col) {
  jet::ValueBytes b;
  if (!storedText(c, col, b, c->lvBuffer)) {
    sqlite3_result_null(ctx);
    return;
  }
  if (jet::isCompressedText(b.data, b.length)) {
    jet::decodeTextUtf16(b.data, b.length, c->textBuffer);
    sqlite3_result_text16le(ctx, c->textBuffer.data(), static_cast<int>(c->textBuffer.size() * 2), SQLITE_TRANSIENT);
    return;
  }
  bool inBuffer = !c->lvBuffer.empty() && b.data == c->lvBuffer.data();
  sqlite3_result_text16le(ctx, b.data, static_cast<int>(b.length & ~size_t{1}), inBuffer ? SQLITE_TRANSIENT : SQLITE_STATIC);
}

int column(sqlite3_vtab_cursor* p, sqlite3_context* ctx, int i) {
  auto* c = static_cast<Cursor*>(p);
  const jet::Column& col = *c->vt->columns[static_cast<size_t>(i)];
  try {
    if (isTextColumn(col.type)) {
      resultText(c, ctx, col);
      return SQLITE_OK;
    }
    jet::Value v = c->rows->value(col);
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, std::monostate>) sqlite3_result_null(ctx);
          else if constexpr (std::is_same_v<T, bool>) sqlite3_result_int(ctx, x ? 1 : 0);
          else if constexpr (std::is_same_v<T, int64_t>) sqlite3_result_int64(ctx, x);
          else if constexpr (std::is_same_v<T, jet::Currency>) sqlite3_result_double(ctx, static_cast<double>(x.scaled) / 10000.0);
          else if constexpr (std::is_same_v<T, float>) sqlite3_result_double(ctx, static_cast<double>(x));
          else if constexpr (std::is_same_v<T, double>) sqlite3_result_double(ctx, x);
          else if constexpr (std::is_same_v<T, jet::DateTime>) resultDate(ctx, x.days);
          else if constexpr (std::is_same_v<T, std::string>) sqlite3_result_text(ctx, x.data(), static_cast<int>(x.size()), SQLITE_TRANSIENT);
          else if constexpr (std::is_same_v<T, std::u16string>)
            sqlite3_result_text16le(ctx, x.data(), static_cast<int>(x.size() * 2), SQLITE_TRANSIENT);
          else if constexpr (std::is_same_v<T, jet::Bytes>) sqlite3_result_blob(ctx, x.data(), static_cast<int>(x.size()), SQLITE_TRANSIENT);
          else if constexpr (std::is_same_v<T, jet::Guid>) {
            std::string g = jet::guidText(x.bytes.data());
            sqlite3_result_text(ctx, g.data(), static_cast<int>(g.size()), SQLITE_TRANSIENT);
          } else if constexpr (std::is_same_v<T, jet::Decimal>) {
            std::string d = jet::decimalText(x.negative, x.magnitude, x.scale);
            sqlite3_result_text(ctx, d.data(), static_cast<int>(d.size()), SQLITE_TRANSIENT);
          }
        },
        v);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* p, sqlite3_int64* out) {
  auto* c = static_cast<Cursor*>(p);
  jet::RowPointer at = c->rows->position();
  *out = (static_cast<sqlite3_int64>(at.page) << 8) | at.row;
  return SQLITE_OK;
}

[[noreturn]] void badInput(const jet::Column& c, const std::string& what) {
  throw jet::Error("column '" + c.name + "': " + what);
}

std::string valueText(sqlite3_value* v) {
  const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return std::string(t ? t : "", static_cast<size_t>(sqlite3_value_bytes(v)));
}

// "YYYY-MM-DD[ T]HH:MM:SS[.fraction]" or "YYYY-MM-DD".
bool parseDate(const std::string& s, double& days) {
  jet::CalendarTime t;
  char sep = 0;
  double seconds = 0;
  int n = std::sscanf(s.c_str(), "%d-%d-%d%c%d:%d:%lf", &t.year, &t.month, &t.day, &sep, &t.hour, &t.minute, &seconds);
  if (n != 3 && n != 7) return false;
  if (n == 7 && sep != ' ' && sep != 'T') return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || seconds >= 60) return false;
  t.second = static_cast<int>(seconds);
  t.nanos = std::llround((seconds - t.second) * 1e9);
  days = jet::fromCalendar(t);
  return true;
}

bool parseDecimal(const std::string& s, unsigned scale, jet::Decimal& out) {
  size_t i = 0;
  out = jet::Decimal{};
  out.scale = static_cast<uint8_t>(scale);
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) out.negative = s[i++] == '-';
  bool digits = false, point = false;
  unsigned decimals = 0;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return false;
    if (point && decimals == scale) continue;  // extra decimals are cut
    out.magnitude = out.magnitude * 10 + static_cast<unsigned>(s[i] - '0');
    decimals += point ? 1 : 0;
    digits = true;
  }
  for (; decimals < scale; ++decimals) out.magnitude *= 10;
  return digits;
}

// A SQLite value as the Jet value `c` stores; raises when it cannot be one.
jet::Value toJet(const jet::Column& c, sqlite3_value* v) {
  if (sqlite3_value_type(v) == SQLITE_NULL) return std::monostate{};
  // Asked only of number columns: it would try to read every text as a number.
  auto numericType = [v] { return sqlite3_value_numeric_type(v); };
  switch (c.type) {
    case jet::ColumnType::Boolean:
      if (int numeric = numericType(); numeric != SQLITE_INTEGER && numeric != SQLITE_FLOAT)
        badInput(c, "takes yes/no values (1 or 0)");
      return sqlite3_value_double(v) != 0;
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long: {
      int numeric = numericType();
      if (numeric == SQLITE_INTEGER) return static_cast<int64_t>(sqlite3_value_int64(v));
      double d = sqlite3_value_double(v);
      if (numeric == SQLITE_FLOAT && d == std::floor(d) && std::fabs(d) < 9e18) return static_cast<int64_t>(d);
      badInput(c, "takes whole numbers, not '" + valueText(v) + "'");
    }
    case jet::ColumnType::Currency:
    case jet::ColumnType::Single:
    case jet::ColumnType::Double: {
      if (int numeric = numericType(); numeric != SQLITE_INTEGER && numeric != SQLITE_FLOAT)
        badInput(c, "takes numbers, not '" + valueText(v) + "'");
      double d = sqlite3_value_double(v);
      if (c.type == jet::ColumnType::Single) return static_cast<float>(d);
      if (c.type == jet::ColumnType::Double) return d;
      if (std::fabs(d) > 9.2e14) badInput(c, "currency value out of range");
      return jet::Currency{std::llround(d * 10000)};
    }
    case jet::ColumnType::DateTime: {
      double days;
      if (sqlite3_value_type(v) == SQLITE_TEXT && parseDate(valueText(v), days)) return jet::DateTime{days};
      if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT)
        return jet::DateTime{sqlite3_value_double(v)};
      badInput(c, "takes dates as 'YYYY-MM-DD HH:MM:SS', not '" + valueText(v) + "'");
    }
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: return valueUtf16(v);  // the connection holds text as UTF-16: taken as it is
    case jet::ColumnType::Guid: {
      std::string s = valueText(v);
      unsigned b[16];
      if (std::sscanf(s.c_str(), "{%2x%2x%2x%2x-%2x%2x-%2x%2x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &b[3], &b[2], &b[1], &b[0], &b[5],
                      &b[4], &b[7], &b[6], &b[8], &b[9], &b[10], &b[11], &b[12], &b[13], &b[14], &b[15]) != 16)
        badInput(c, "takes GUIDs as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, not '" + s + "'");
      jet::Guid g;
      for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(b[i]);
      return g;
    }
    case jet::ColumnType::Decimal: {
      jet::Decimal d;
      if (!parseDecimal(valueText(v), c.scale, d)) badInput(c, "takes decimal numbers, not '" + valueText(v) + "'");
      return d;
    }
    default: {
      const auto* b = static_cast<const uint8_t*>(sqlite3_value_blob(v));
      return jet::Bytes(b, b + sqlite3_value_bytes(v));
    }
  }
}

jet::RowPointer pointerOf(sqlite3_int64 rowid) {
  return jet::RowPointer{static_cast<uint32_t>(rowid >> 8), static_cast<uint8_t>(rowid & 0xFF)};
}

// DELETE (one argument), INSERT (first argument null) and UPDATE (a delete
// and an insert: the row gets a new place and a new rowid).
int update(sqlite3_vtab* p, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* vt = static_cast<Vtab*>(p);
  try {
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL)
      vt->db->deleteRow(*vt->table, pointerOf(sqlite3_value_int64(argv[0])));
    if (argc == 1) return SQLITE_OK;
    const jet::TableDef& def = vt->table->def();
    jet::RowValues values(def.columns.size());
    for (size_t i = 0; i < vt->columns.size(); ++i) {
      size_t at = static_cast<size_t>(vt->columns[i] - def.columns.data());
      values[at] = toJet(*vt->columns[i], argv[2 + i]);
    }
    jet::RowPointer at = vt->db->insertRow(*vt->table, std::move(values));
    *rowid = (static_cast<sqlite3_int64>(at.page) << 8) | at.row;
  } catch (const std::exception& e) {
    setError(p, e.what());
    return SQLITE_CONSTRAINT;
  }
  return SQLITE_OK;
}

// All virtual tables of one file share its pager transaction: the first
// xBegin opens it, the first xCommit writes it, later calls find it done.
int begin(sqlite3_vtab* p) {
  auto* vt = static_cast<Vtab*>(p);
  try {
    vt->db->begin();
  } catch (const std::exception& e) {
    setError(p, e.what());
    return SQLITE_READONLY;
  }
  return SQLITE_OK;
}
int sync(sqlite3_vtab*) { return SQLITE_OK; }
int commit(sqlite3_vtab* p) {
  auto* vt = static_cast<Vtab*>(p);
  try {
    vt->db->commit();
  } catch (const std::exception& e) {
    setError(p, e.what());
    vt->db->rollback();
    return SQLITE_IOERR;
  }
  return SQLITE_OK;
}
int rollback(sqlite3_vtab* p) {
  static_cast<Vtab*>(p)->db->rollback();
  return SQLITE_OK;
}
int savepoint(sqlite3_vtab* p, int level) {
  static_cast<Vtab*>(p)->db->savepointAt(static_cast<size_t>(level));
  return SQLITE_OK;
}
int releaseSavepoint(sqlite3_vtab* p, int level) {
  static_cast<Vtab*>(p)->db->releaseSavepoint(static_cast<size_t>(level));
  return SQLITE_OK;
}
int rollbackTo(sqlite3_vtab* p, int level) {
  static_cast<Vtab*>(p)->db->rollbackToSavepoint(static_cast<size_t>(level));
  return SQLITE_OK;
}

sqlite3_module makeModule() {
  sqlite3_module m{};
  m.iVersion = 2;
  m.xCreate = connectTable;
  m.xConnect = connectTable;
  m.xBestIndex = bestIndex;
  m.xDisconnect = disconnectTable;
  m.xDestroy = destroyTable;
  m.xOpen = openCursor;
  m.xClose = closeCursor;
  m.xFilter = filter;
  m.xNext = next;
  m.xEof = eof;
  m.xColumn = column;
  m.xRowid = rowid;
  m.xUpdate = update;
  m.xBegin = begin;
  m.xSync = sync;
  m.xCommit = commit;
  m.xRollback = rollback;
  m.xSavepoint = savepoint;
  m.xRelease = releaseSavepoint;
  m.xRollbackTo = rollbackTo;
  return m;
}

const sqlite3_module kModule = makeModule();

}  // namespace

void registerJetModule(sqlite3* db, SqlConnection* connection) {
  sqlite3_create_module_v2(db, "jet", &kModule, connection, nullptr);
}

}  // namespace sql
