// Tables: a definition plus the rows on the data pages it owns.
//
// RowCursor walks the table's owned pages in page order and each page's
// slots in order, skipping deleted slots (0x8000) and following overflow
// pointers (0x4000) to the row they name, so every live row is seen once.
// Values are decoded only when asked for.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pager.h"
#include "row_codec.h"
#include "tdef.h"
#include "usage_map.h"
#include "value.h"

namespace jet {

class Table;

class RowCursor {
 public:
  explicit RowCursor(const Table& table);

  // Advances to the next live row; false at the end.
  bool next();
  // Positions on a given row; false when that slot holds no live row.
  bool moveTo(RowPointer where);

  RowPointer position() const { return position_; }
  const RowView& row() const { return row_; }

  bool isNull(const Column& c) const;
  // Decoded value (memo and OLE read in full).
  Value value(const Column& c) const;
  // Text and Memo as UTF-8, appended to `out`; false when null.
  bool appendText(const Column& c, std::string& out) const;
  // Raw bytes of a Memo/OLE value, or of a Binary/fixed value.
  bool appendBytes(const Column& c, std::vector<uint8_t>& out) const;

 private:
  bool loadSlot(RowPointer where, bool fromScan);

  const Table& table_;
  const Pager& pager_;
  size_t pageIndex_ = 0;
  int slot_ = -1;
  RowPointer position_;
  RowView row_;
  mutable std::vector<uint8_t> scratch_;
};

class Table {
 public:
  Table(const Pager& pager, TableDef def);

  // The definition; its counts (rows, autonumber, distinct keys) are read
  // again after the file changed, its schema never changes.
  const TableDef& def() const;
  const Pager& pager() const { return pager_; }
  // The data pages the table owns, read from its usage map on first use so
  // that opening a table costs the same whatever its size.
  const std::vector<uint32_t>& dataPages() const;

  RowCursor scan() const { return RowCursor(*this); }

 private:
  const Pager& pager_;
  mutable TableDef def_;
  mutable std::optional<UsageMap> owned_;
  mutable uint64_t ownedGeneration_ = 0;
  mutable uint64_t countsGeneration_ = 0;
};

}  // namespace jet
