// The SQLite module "jet": every Jet table (local or linked) as a virtual
// table. Values: integers as INTEGER, Single/Double/Currency as REAL, text
// and memo as TEXT (compared with the JETTEXT collation, which ignores
// case), Date/Time as TEXT "YYYY-MM-DD HH:MM:SS" (with a fraction of a
// second when there is one), Decimal as TEXT in plain decimal notation,
// GUID as TEXT "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", Binary and OLE as
// BLOB, Boolean as INTEGER 1 or 0.
//
// Planning: `=` and `IN` on the leading column of an index seek through the
// B-tree; `LIKE` on a text or memo column is evaluated inside the scan on
// the stored text; everything else scans the table's pages.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "jet/tdef.h"

namespace jet {
class Database;
}

namespace sql {

class SqlConnection;

// Registers the module on `db`. The connection owns the Jet databases the
// virtual tables read.
void registerJetModule(sqlite3* db, SqlConnection* connection);

// SQL to declare one virtual table: a local table of the archive, or a
// linked one ("stored" links live in the file, "attached" ones in the
// process registry).
std::string declareLocalTable(const std::string& name);
std::string declareLinkedTable(const std::string& name, const std::string& database, const std::string& remoteTable,
                               bool attached);

// The SQLite type a Jet column's values take (module header above).
const char* sqlType(jet::ColumnType type);

std::string quoteIdentifier(const std::string& name);
std::string quoteLiteral(const std::string& text);

}  // namespace sql
