#include "data_page.h"

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

}  // namespace jet
