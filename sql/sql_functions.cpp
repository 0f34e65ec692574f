#include "sql_functions.h"

#include <cstring>
#include <memory>
#include <string>

#include "jet/text_codec.h"
#include "like_pattern.h"

namespace sql {

namespace {

void deletePattern(void* p) { delete static_cast<LikePattern*>(p); }

}  // namespace

std::u16string valueUtf16(sqlite3_value* v) {
  const auto* b = static_cast<const uint8_t*>(sqlite3_value_text16le(v));
  size_t units = static_cast<size_t>(sqlite3_value_bytes16(v)) / 2;
  std::u16string out(units, u'\0');
  if (b) std::memcpy(out.data(), b, units * 2);
  return out;
}

namespace {

// like(pattern, text [, escape]); the pattern is compiled once per statement
// (SQLite keeps it as auxiliary data of the constant argument).
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
  if (!pattern) {
    std::optional<char16_t> escape;
    if (argc == 3) {
      const auto* e = static_cast<const uint8_t*>(sqlite3_value_text16le(argv[2]));
      if (!e || sqlite3_value_bytes16(argv[2]) != 2) {
        sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        return;
      }
      escape = static_cast<char16_t>(e[0] | (e[1] << 8));
    }
    std::u16string text = valueUtf16(argv[0]);
    pattern = new LikePattern(text, escape);
    sqlite3_set_auxdata(ctx, 0, pattern, deletePattern);
    pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {  // SQLite could not keep it; use it once
      std::unique_ptr<LikePattern> once(new LikePattern(text, escape));
      const auto* t = static_cast<const uint8_t*>(sqlite3_value_text16le(argv[1]));
      sqlite3_result_int(ctx, once->matchesUtf16le(t, static_cast<size_t>(sqlite3_value_bytes16(argv[1])) / 2) ? 1 : 0);
      return;
    }
  }
  const auto* t = static_cast<const uint8_t*>(sqlite3_value_text16le(argv[1]));
  sqlite3_result_int(ctx, pattern->matchesUtf16le(t, static_cast<size_t>(sqlite3_value_bytes16(argv[1])) / 2) ? 1 : 0);
}

int compareJetText(void*, int n1, const void* a, int n2, const void* b) {
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  size_t u1 = static_cast<size_t>(n1) / 2, u2 = static_cast<size_t>(n2) / 2;
  for (size_t i = 0; i < u1 && i < u2; ++i) {
    char16_t p = jet::upperCase(static_cast<char16_t>(x[2 * i] | (x[2 * i + 1] << 8)));
    char16_t q = jet::upperCase(static_cast<char16_t>(y[2 * i] | (y[2 * i + 1] << 8)));
    if (p != q) return p < q ? -1 : 1;
  }
  return u1 == u2 ? 0 : (u1 < u2 ? -1 : 1);
}

}  // namespace

void registerJetFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF16LE | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
  sqlite3_create_function(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr);
  sqlite3_create_collation(db, "JETTEXT", SQLITE_UTF16LE, nullptr, compareJetText);
}

}  // namespace sql
