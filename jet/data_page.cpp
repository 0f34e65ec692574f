#include "data_page.h"

#include <cstring>

#include "bytes.h"
#include "error.h"

namespace jet {

uint16_t DataPageView::freeSpace() const { return le16(bytes + 2); }
uint32_t DataPageView::owner() const { return le32(bytes + 4); }
uint16_t DataPageView::rowCount() const { return le16(bytes + 12); }

RowSlot DataPageView::slot(unsigned i, const std::string& file) const {
  unsigned n = rowCount();
  if (14 + 2 * n > kPageSize)
    failPage(file, number, "row count " + std::to_string(n) + " does not fit on the page");
  if (i >= n) failPage(file, number, "has no row " + std::to_string(i));
  uint16_t raw = le16(bytes + 14 + 2 * i);
  RowSlot s;
  s.flags = raw & 0xE000;
  s.start = raw & 0x1FFF;
  s.end = i == 0 ? static_cast<uint16_t>(kPageSize) : (le16(bytes + 14 + 2 * (i - 1)) & 0x1FFF);
  if (s.start < 14 + 2 * n || s.start > s.end || s.end > kPageSize)
    failPage(file, number, "row " + std::to_string(i) + " has impossible bounds " +
                               std::to_string(s.start) + ".." + std::to_string(s.end));
  return s;
}

DataPageView dataPage(const Pager& pager, uint32_t n) {
  const uint8_t* p = pager.page(n);
  if (p[0] != kPageData) failPage(pager.path(), n, "is not a data page");
  return DataPageView{p, n};
}

void initDataPage(uint8_t* p, uint32_t owner) {
  std::memset(p, 0, kPageSize);
  p[0] = kPageData;
  p[1] = 0x01;
  put16(p + 2, static_cast<uint16_t>(kPageSize - 14));
  put32(p + 4, owner);
}

bool hasRoomFor(const DataPageView& page, size_t length) {
  return page.rowCount() < kMaxRowsPerPage && length + 2 <= page.freeSpace();
}

uint8_t addRow(Pager& pager, uint32_t n, const uint8_t* bytes, size_t length) {
  DataPageView view = dataPage(pager, n);
  unsigned count = view.rowCount();
  size_t low = count == 0 ? kPageSize : view.slot(count - 1, pager.path()).start;
  if (count >= kMaxRowsPerPage || length > low || low - length < 14 + 2 * (count + 1))
    failPage(pager.path(), n, "has no room for a row of " + std::to_string(length) + " bytes");
  uint8_t* p = pager.change(n);
  size_t start = low - length;
  std::memcpy(p + start, bytes, length);
  put16(p + 14 + 2 * count, static_cast<uint16_t>(start));
  put16(p + 12, static_cast<uint16_t>(count + 1));
  put16(p + 2, static_cast<uint16_t>(le16(p + 2) - length - 2));
  return static_cast<uint8_t>(count);
}

void removeRow(Pager& pager, uint32_t n, unsigned row) {
  DataPageView view = dataPage(pager, n);
  unsigned count = view.rowCount();
  RowSlot s = view.slot(row, pager.path());
  size_t low = view.slot(count - 1, pager.path()).start;
  size_t length = s.length();
  uint8_t* p = pager.change(n);
  if (length > 0) {
    std::memmove(p + low + length, p + low, s.start - low);
    for (unsigned j = row + 1; j < count; ++j) {
      uint16_t raw = le16(p + 14 + 2 * j);
      put16(p + 14 + 2 * j, static_cast<uint16_t>(raw + length));
    }
    put16(p + 2, static_cast<uint16_t>(le16(p + 2) + length));
  }
  put16(p + 14 + 2 * row, static_cast<uint16_t>(s.end | kRowDeleted | kRowOverflow));
}

}  // namespace jet
