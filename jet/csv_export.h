// A table as CSV, in the form mdb-export prints with its default options:
// a header of column names, columns in column-number order, text, memo,
// dates, binary and OLE values in double quotes with quotes doubled,
// numbers bare, booleans 1/0, dates as mm/dd/yy hh:mm:ss, currency with
// four decimals, null and empty values as nothing.
//
// Where mdb-export loses data we do not copy it: characters outside the
// Basic Multilingual Plane are printed as themselves (mdb-export prints
// "??"), and empty text prints as "" (mdb-export prints it like null).
#pragma once

#include <cstdio>
#include <string>

#include "table.h"

namespace jet {

// Writes the CSV of `table` to `out`.
void exportCsv(const Table& table, std::FILE* out);
std::string exportCsv(const Table& table);

}  // namespace jet
