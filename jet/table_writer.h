// Inserting and deleting rows of one table, inside a pager transaction.
//
// Insert: every value is checked against its column before anything
// changes (type, range, length, unique keys); long values are written
// first (inline up to 64 bytes, one LVAL row up to 4,076 bytes, else a
// chain), then the row on a page of the table with room (or a new page
// added to the table's maps), then every index entry, then the row count
// and autonumber counter in the definition. Delete: index entries first,
// then the row (flagged 0xC000, bytes given back), its long values, and the
// count. A text index in another sort order than General (legacy) cannot be
// maintained, so a table with one refuses every change.
#pragma once

#include <unordered_map>
#include <span>
#include <vector>

#include "index_writer.h"
#include "pager.h"
#include "table.h"
#include "value.h"

namespace jet {

// Values of a new row, one per column of the definition (tdef order);
// null (monostate) for absent values. An autonumber column left null gets
// the next number.
using RowValues = std::vector<Value>;

class TableWriter {
 public:
  // Where the last row of each map's pages went (keyed by the free-space
  // map's row pointer): tried first, so a run of inserts does not read the
  // free-space map each time. A hint is checked before use.
  using InsertHints = std::unordered_map<uint32_t, uint32_t>;

  TableWriter(Pager& pager, const Table& table, SortOrder databaseDefault, IndexNodeCache& indexCache,
              InsertHints& hints);

  RowPointer insert(RowValues values);
  void remove(RowPointer row);

 private:
  void checkWritable() const;
  std::vector<uint8_t> storeValue(const Column& column, const Value& value, size_t& rowBudget);
  RowPointer storeLongValue(const Column& column, const uint8_t* bytes, size_t length, bool chained);
  RowPointer putRow(std::span<const uint8_t> row, uint32_t owner, RowPointer ownedMap, RowPointer freeMap,
                    bool tracked);
  std::vector<std::string> keysOf(const RowValues& values) const;
  RowValues readRow(RowPointer row) const;
  void releaseLongValues(RowPointer row);

  Pager& pager_;
  const Table& table_;
  const TableDef& def_;
  SortOrder sortOrder_;
  IndexNodeCache& indexCache_;
  InsertHints& hints_;
};

// Checks `value` against `column`; raises jet::Error naming the column.
void checkValue(const TableDef& def, const Column& column, const Value& value);

// Jet date from calendar fields.
double fromCalendar(const CalendarTime& t);

}  // namespace jet
