// Creating and dropping tables, and creating a database from nothing.
//
// A new table gets (as the fixtures' writer lays them out) a definition
// page, a holder page for its usage maps (row 0 a reference map of its
// data pages, row 1 an inline free-space map, one inline map per index,
// two per long-value column), an empty leaf root per index, and a row in
// MSysObjects (plus permission rows in MSysACEs copied from the Tables
// container's). A new database has the header, the global usage map on
// page 1, MSysObjects on page 2 with its containers and the system tables
// MSysACEs, MSysQueries and MSysRelationships, in General sort order.
#pragma once

#include <string>
#include <vector>

#include "tdef.h"

namespace jet {

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::Long;
  uint16_t length = 0;  // Text: characters; Binary: bytes; others ignored
  bool autoNumber = false;
  bool compressed = true;  // Text and Memo: Unicode compression allowed
  uint8_t precision = 18, scale = 0;  // Decimal
};

struct IndexSpec {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // name, ascending
  bool primary = false;
  bool unique = false;
  bool ignoreNulls = false;
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
  bool system = false;
};

class Database;

// REQUIRES: an open transaction on `db`. Raises on a name in use, a bad
// column or index.
void createTable(Database& db, const TableSpec& spec);
void dropTable(Database& db, const std::string& name);

// Writes a new, empty Jet 4 database at `path` (which must not exist).
void createDatabase(const std::string& path);

}  // namespace jet
