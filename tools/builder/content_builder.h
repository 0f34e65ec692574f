// Builds a Jet 4 database from a content description (the fixtures' JSON
// content format): {"schema": {TABLE: {"columns": ["NAME TYPE[(n)] [AUTO]"],
// "indexes": ["NAME [PRIMARY] [UNIQUE] [IGNORENULLS] : COL[,COL]"]}},
// "tables": {TABLE: [{COLUMN: value}]}}. Tables are created in the order of
// "tables" and rows inserted in list order; a table without a schema entry
// and one of the five forum names gets the forum's standard definition.
#pragma once

#include <string>

namespace builder {

// Writes `outFile` (which must not exist) from the JSON text `content`.
// Raises std::runtime_error (or jet::Error) with a message naming the
// table, row or column at fault.
void buildDatabase(const std::string& content, const std::string& outFile);

}  // namespace builder
