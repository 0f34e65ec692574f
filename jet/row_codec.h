// Row layout (FORMAT section 5): u16 column count, fixed area, variable
// data, then from the end: null mask (1 bit per column, 1 = not null),
// u16 var count, var offsets (last slot first), EOD. The variable part
// exists only when the table has variable columns.
//
// RowView parses only the row's frame; values are located on demand, so a
// scan that reads one column never touches the others.
#pragma once

#include <cstdint>
#include <string>

#include "tdef.h"

namespace jet {

struct ValueBytes {
  const uint8_t* data = nullptr;
  size_t length = 0;
};

class RowView {
 public:
  RowView() = default;
  // Raises when the frame does not fit in `length` bytes.
  RowView(const uint8_t* row, size_t length, const TableDef& def, const std::string& file, uint32_t page);

  uint16_t columnCount() const { return ncols_; }
  uint16_t varCount() const { return nvar_; }
  // Null mask bit (for booleans, the value itself).
  bool maskBit(uint16_t columnNumber) const;
  // False when the column is null in this row (or was added after it).
  bool present(const Column& c) const;
  // The stored bytes of a non-boolean column; data == nullptr when null.
  // Raises when the row's offsets point outside the row.
  ValueBytes bytes(const Column& c) const;

  const uint8_t* data() const { return row_; }
  size_t length() const { return length_; }
  size_t fixedEnd() const { return varStart_; }

 private:
  [[noreturn]] void fail(const std::string& what) const;
  uint16_t varOffset(uint16_t slot) const;

  const uint8_t* row_ = nullptr;
  size_t length_ = 0;
  const std::string* file_ = nullptr;
  uint32_t page_ = 0;
  uint16_t ncols_ = 0;
  uint16_t nvar_ = 0;
  size_t maskStart_ = 0;
  size_t varTable_ = 0;  // position of the last var offset entry (EOD)
  size_t varStart_ = 0;  // end of the fixed area / start of variable data
  uint16_t eod_ = 0;
};

}  // namespace jet
