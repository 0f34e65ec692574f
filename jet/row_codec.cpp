#include "row_codec.h"

#include "bytes.h"
#include "error.h"

namespace jet {

RowView::RowView(const uint8_t* row, size_t length, const TableDef& def, const std::string& file, uint32_t page)
    : row_(row), length_(length), file_(&file), page_(page) {
  if (length < 2) fail("is shorter than its column count");
  ncols_ = le16(row);
  size_t maskBytes = (static_cast<size_t>(ncols_) + 7) / 8;
  if (2 + maskBytes > length) fail("null mask does not fit (" + std::to_string(ncols_) + " columns)");
  maskStart_ = length - maskBytes;
  varStart_ = maskStart_;
  if (def.numVarCols > 0) {
    if (maskStart_ < 4) fail("has no room for its variable column table");
    nvar_ = le16(row + maskStart_ - 2);
    size_t tableBytes = 2 + 2 * static_cast<size_t>(nvar_) + 2;
    if (tableBytes + 2 > maskStart_) fail("variable column table (" + std::to_string(nvar_) + " slots) does not fit");
    varTable_ = maskStart_ - tableBytes;
    eod_ = le16(row + varTable_);
    if (eod_ > varTable_ || eod_ < 2) fail("end of variable data lies outside the row");
    varStart_ = nvar_ > 0 ? varOffset(0) : eod_;
    if (varStart_ > eod_) fail("variable data starts after it ends");
  }
}

void RowView::fail(const std::string& what) const {
  failPage(*file_, page_, "row " + what);
}

uint16_t RowView::varOffset(uint16_t slot) const {
  // Slot v's start is at maskStart - 4 - 2v; slot nvar's "start" is EOD.
  if (slot >= nvar_) return eod_;
  return le16(row_ + maskStart_ - 4 - 2 * static_cast<size_t>(slot));
}

bool RowView::maskBit(uint16_t n) const {
  if (n >= ncols_) return false;
  return (row_[maskStart_ + n / 8] >> (n % 8)) & 1;
}

bool RowView::present(const Column& c) const { return maskBit(c.number); }

ValueBytes RowView::bytes(const Column& c) const {
  if (!maskBit(c.number) || c.type == ColumnType::Boolean) return {};
  if (c.isFixed()) {
    size_t start = 2 + static_cast<size_t>(c.fixedOffset);
    if (start + c.length > varStart_)
      fail("fixed column '" + c.name + "' lies outside the fixed area");
    return ValueBytes{row_ + start, c.length};
  }
  if (c.varIndex >= nvar_) return {};
  uint16_t start = varOffset(c.varIndex);
  uint16_t end = varOffset(static_cast<uint16_t>(c.varIndex + 1));
  if (start > end || end > eod_ || start < varStart_)
    fail("variable column '" + c.name + "' has bad offsets " + std::to_string(start) + ".." + std::to_string(end));
  return ValueBytes{row_ + start, static_cast<size_t>(end - start)};
}

}  // namespace jet
