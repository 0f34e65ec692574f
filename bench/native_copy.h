// A native SQLite copy of a Jet database, with the same tables, columns,
// values and indexes, made once through the SQL bridge and kept beside the
// inflated bench archive. Benchmarks run the same statements on both.
#pragma once

#include <sqlite3.h>

#include <string>

namespace bench {

// Path of the SQLite copy of `jetFile` (made when missing).
std::string nativeCopy(const std::string& jetFile);
// The copy of the large bench archive.
const std::string& nativeLargeArchive();
// Runs one or more statements on a native SQLite database; raises its message.
void execNative(sqlite3* db, const std::string& statements);

}  // namespace bench
