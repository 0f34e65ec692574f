// The canonical dump: every user table of a database as UTF-8 text meant
// for diff (format described in the fixtures' README): tables by upper-case
// name, each with its columns, indexes, a row count and its rows sorted by
// the first primary-key column (then by the row's text).
#pragma once

#include <cstdio>
#include <string>

#include "database.h"

namespace jet {

void dumpDatabase(const Database& db, std::FILE* out);
std::string dumpDatabase(const Database& db);

// One value in the dump's notation ("\N" for null).
std::string dumpValue(const Column& column, const Value& value);

}  // namespace jet
