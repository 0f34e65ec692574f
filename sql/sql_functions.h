// Jet semantics on a SQLite connection: LIKE (two and three arguments) as
// LikePattern implements it, and the JETTEXT collation (case ignored in
// every alphabet), used by text columns of Jet tables.
#pragma once

#include <sqlite3.h>

#include <string>

namespace sql {

void registerJetFunctions(sqlite3* db);

// A text value's UTF-16 units (copied, so alignment does not matter).
std::u16string valueUtf16(sqlite3_value* value);

}  // namespace sql
