#include "table.h"

#include "bytes.h"
#include "data_page.h"
#include "error.h"
#include "long_value.h"
#include "text_codec.h"

namespace jet {

Table::Table(const Pager& pager, TableDef def)
    : pager_(pager), def_(std::move(def)), countsGeneration_(pager.generation()) {}

const TableDef& Table::def() const {
  if (countsGeneration_ != pager_.generation()) {
    const uint8_t* p = pager_.page(def_.tdefPage);
    def_.rowCount = le32(p + 16);
    def_.autoNumber = le32(p + 20);
    for (size_t i = 0; i < def_.realIndexes.size() && 63 + 12 * i + 8 <= kPageSize; ++i)
      def_.realIndexes[i].distinctCount = le32(p + 63 + 12 * i + 4);
    countsGeneration_ = pager_.generation();
  }
  return def_;
}

const std::vector<uint32_t>& Table::dataPages() const {
  if (!owned_ || ownedGeneration_ != pager_.generation()) {
    owned_ = readUsageMap(pager_, def_.ownedMap);
    ownedGeneration_ = pager_.generation();
  }
  return owned_->pages;
}

RowCursor::RowCursor(const Table& table) : table_(table), pager_(table.pager()) {}

bool RowCursor::loadSlot(RowPointer where, bool fromScan) {
  const std::string& file = pager_.path();
  DataPageView page = dataPage(pager_, where.page);
  if (page.owner() != table_.def().tdefPage)
    failPage(file, where.page, "belongs to table definition " + std::to_string(page.owner()) + ", not to '" +
                                   table_.def().name + "' (" + std::to_string(table_.def().tdefPage) + ")");
  RowSlot s = page.slot(where.row, file);
  if (fromScan && s.deleted()) return false;
  if (s.overflow()) {
    // An overflow slot begins with a pointer to the moved row; Access writes
    // one hop, so more than a few means a damaged file.
    RowPointer target = where;
    for (int hop = 0; s.overflow(); ++hop) {
      if (hop == 8) failPage(file, where.page, "overflow rows chain more than 8 times from row " + std::to_string(where.row));
      if (s.length() < 4) failPage(file, target.page, "overflow row " + std::to_string(target.row) + " is too short");
      target = RowPointer::fromLe(page.bytes + s.start);
      page = dataPage(pager_, target.page);
      if (page.owner() != table_.def().tdefPage)
        failPage(file, target.page, "is the target of an overflow row of '" + table_.def().name +
                                        "' but belongs to another table");
      s = page.slot(target.row, file);
    }
    row_ = RowView(page.bytes + s.start, s.length(), table_.def(), file, target.page);
  } else {
    if (!fromScan && s.deleted()) return false;
    row_ = RowView(page.bytes + s.start, s.length(), table_.def(), file, where.page);
  }
  position_ = where;
  return true;
}

bool RowCursor::next() {
  const std::vector<uint32_t>& pages = table_.dataPages();
  while (pageIndex_ < pages.size()) {
    DataPageView page = dataPage(pager_, pages[pageIndex_]);
    int count = page.rowCount();
    while (++slot_ < count) {
      if (loadSlot(RowPointer{pages[pageIndex_], static_cast<uint8_t>(slot_)}, true)) return true;
    }
    ++pageIndex_;
    slot_ = -1;
    // Every 32,768 pages of rows (128 MB), let go of the pages read so far (the table's and
    // the long values'), so a full scan's memory does not grow with the table.
    if (pageIndex_ % 32768 == 0) pager_.releaseResident();
  }
  return false;
}

bool RowCursor::moveTo(RowPointer where) {
  if (!pager_.contains(where.page)) return false;
  const uint8_t* p = pager_.page(where.page);
  if (p[0] != kPageData || DataPageView{p, where.page}.owner() != table_.def().tdefPage) return false;
  if (where.row >= DataPageView{p, where.page}.rowCount()) return false;
  return loadSlot(where, false);
}

bool RowCursor::isNull(const Column& c) const {
  if (c.type == ColumnType::Boolean) return false;
  return !row_.present(c);
}

bool RowCursor::appendBytes(const Column& c, std::vector<uint8_t>& out) const {
  ValueBytes b = row_.bytes(c);
  if (!b.data) return false;
  if (isLongValue(c.type)) {
    if (b.length == 0) return true;  // a zero-byte slot reads as empty
    readLongValue(pager_, b.data, b.length, position_.page, out);
  } else {
    out.insert(out.end(), b.data, b.data + b.length);
  }
  return true;
}

bool RowCursor::appendText(const Column& c, std::string& out) const {
  ValueBytes b = row_.bytes(c);
  if (!b.data) return false;
  if (c.type == ColumnType::Memo) {
    scratch_.clear();
    if (b.length > 0) readLongValue(pager_, b.data, b.length, position_.page, scratch_);
    decodeText(scratch_.data(), scratch_.size(), out);
  } else {
    decodeText(b.data, b.length, out);
  }
  return true;
}

Value RowCursor::value(const Column& c) const {
  if (c.type == ColumnType::Boolean) return row_.maskBit(c.number);
  ValueBytes b = row_.bytes(c);
  if (!b.data) return std::monostate{};
  switch (c.type) {
    case ColumnType::Text:
    case ColumnType::Memo: {
      std::string s;
      appendText(c, s);
      return s;
    }
    case ColumnType::Ole:
    case ColumnType::Binary:
    case ColumnType::Unknown0D:
    case ColumnType::Unknown11: {
      Bytes bytes;
      appendBytes(c, bytes);
      return bytes;
    }
    default:
      if (b.length < c.length)
        failPage(pager_.path(), position_.page, "row " + std::to_string(position_.row) + ": column '" + c.name +
                                                    "' is shorter than its type");
      return decodeFixed(c, b.data, b.length);
  }
}

}  // namespace jet
