#include "page_alloc.h"

#include <algorithm>
#include <cstring>

#include "data_page.h"
#include "error.h"
#include "usage_map.h"

namespace jet {

namespace {

struct MapRow {
  uint8_t* bytes;
  size_t length;
};

MapRow mapRow(Pager& pager, RowPointer where) {
  DataPageView view = dataPage(pager, where.page);
  RowSlot s = view.slot(where.row, pager.path());
  uint8_t* page = pager.change(where.page);
  if (s.length() < 5) failPage(pager.path(), where.page, "usage map row is too short to change");
  return MapRow{page + s.start, s.length()};
}

void setBit(uint8_t* bits, uint32_t index, bool on) {
  uint8_t mask = static_cast<uint8_t>(1u << (index % 8));
  if (on)
    bits[index / 8] = static_cast<uint8_t>(bits[index / 8] | mask);
  else
    bits[index / 8] = static_cast<uint8_t>(bits[index / 8] & ~mask);
}

void setReference(Pager& pager, RowPointer where, uint32_t page, bool on) {
  MapRow row = mapRow(pager, where);
  size_t slots = (row.length - 1) / 4;
  size_t slot = page / kPagesPerBitmapPage;
  if (slot >= slots) failPage(pager.path(), where.page, "usage map cannot describe page " + std::to_string(page));
  uint32_t bitmap = le32(row.bytes + 1 + 4 * slot);
  if (bitmap == 0) {
    if (!on) return;
    bitmap = allocatePage(pager);
    uint8_t* b = pager.change(bitmap);
    b[0] = kPageUsageBitmap;
    b[1] = 0x01;
    row = mapRow(pager, where);  // allocation may have changed the holder page
    for (int i = 0; i < 4; ++i) row.bytes[1 + 4 * slot + static_cast<size_t>(i)] = static_cast<uint8_t>(bitmap >> (8 * i));
  }
  uint8_t* b = pager.change(bitmap);
  setBit(b + 4, page % kPagesPerBitmapPage, on);
}

// Sets (on) or clears a page in a map; `global` inverts nothing here, the
// caller passes the bit value it wants.
void setInMap(Pager& pager, RowPointer where, uint32_t page, bool on, bool global) {
  {
    DataPageView view = dataPage(pager, where.page);
    RowSlot s = view.slot(where.row, pager.path());
    if (s.length() > 0 && view.bytes[s.start] == 1) {
      setReference(pager, where, page, on);
      return;
    }
  }
  MapRow row = mapRow(pager, where);
  const uint32_t bits = static_cast<uint32_t>((row.length - 5) * 8);
  // The common case needs only the window's start, not the whole map.
  const uint32_t windowStart = le32(row.bytes + 1);
  if (page >= windowStart && page - windowStart < bits) {
    setBit(row.bytes + 5, page - windowStart, on);
    return;
  }
  UsageMap map = readUsageMap(pager, where);
  if (global) {
    // Pages outside the global map count as in use: only marking in use
    // needs the window, and it moves up to the new page.
    if (!on) {
      if (page < map.start) return;
      uint32_t start = page + 1 >= bits ? ((page + 1 - bits + 7) / 8) * 8 : 0;
      std::vector<uint32_t> keep;
      for (uint32_t p : map.pages)
        if (p >= start) keep.push_back(p);
      std::memset(row.bytes + 5, 0, row.length - 5);
      for (int i = 0; i < 4; ++i) row.bytes[1 + i] = static_cast<uint8_t>(start >> (8 * i));
      for (uint32_t p : keep) setBit(row.bytes + 5, p - start, true);
      // Pages between the old window's end and `page` were outside it, so in use: their bits stay 0.
    }
    return;
  }
  if (!on) return;  // not in the map already
  uint32_t lo = page, hi = page;
  for (uint32_t p : map.pages) {
    lo = std::min(lo, p);
    hi = std::max(hi, p);
  }
  uint32_t start = lo / 8 * 8;
  if (hi - start < bits) {
    std::memset(row.bytes + 5, 0, row.length - 5);
    for (int i = 0; i < 4; ++i) row.bytes[1 + i] = static_cast<uint8_t>(start >> (8 * i));
    for (uint32_t p : map.pages) setBit(row.bytes + 5, p - start, true);
    setBit(row.bytes + 5, page - start, true);
    return;
  }
  // Too wide for an inline row: the same row becomes a reference map.
  row.bytes[0] = 0x01;
  std::memset(row.bytes + 1, 0, row.length - 1);
  for (uint32_t p : map.pages) setReference(pager, where, p, true);
  setReference(pager, where, page, true);
}

}  // namespace

void addToMap(Pager& pager, RowPointer where, uint32_t page) { setInMap(pager, where, page, true, false); }
void removeFromMap(Pager& pager, RowPointer where, uint32_t page) { setInMap(pager, where, page, false, false); }
void markPageUsed(Pager& pager, uint32_t page) { setInMap(pager, RowPointer{1, 0}, page, false, true); }
void markPageFree(Pager& pager, uint32_t page) { setInMap(pager, RowPointer{1, 0}, page, true, true); }

uint32_t allocatePage(Pager& pager) {
  uint32_t page = pager.append();
  markPageUsed(pager, page);
  return page;
}

void freePage(Pager& pager, uint32_t page) {
  uint8_t* p = pager.change(page);
  std::memset(p, 0, 4);
  markPageFree(pager, page);
}

}  // namespace jet
