// Usage maps: sets of page numbers stored as rows on data pages.
//
// Inline (first byte 0): u32 start page, then a bitmap; bit k of byte j is
// page start + 8j + k. Reference (first byte 1): u32 slots naming type-0x05
// bitmap pages, slot i covering pages [i*32736, (i+1)*32736). The global map
// (page 1 row 0) marks free pages; every other map marks owned pages.
#pragma once

#include <cstdint>
#include <vector>

#include "bytes.h"
#include "pager.h"

namespace jet {

constexpr uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;  // 32736

struct UsageMap {
  enum class Kind { Inline, Reference };
  Kind kind = Kind::Inline;
  RowPointer where;
  uint32_t start = 0;                  // inline maps: first page covered
  uint32_t coveredEnd = 0;             // one past the last page the map can describe
  std::vector<uint32_t> pages;         // set bits, ascending
  std::vector<uint32_t> bitmapPages;   // reference maps: the type-0x05 pages in use

  bool covers(uint32_t page) const { return page >= start && page < coveredEnd; }
  bool contains(uint32_t page) const;
};

// Reads the map whose row `where` names. Raises on a damaged map: a row that
// is not there, an unknown kind, a slot that does not name a bitmap page.
// With `lastOnly`, `pages` holds only that many of the highest pages.
UsageMap readUsageMap(const Pager& pager, RowPointer where, size_t lastOnly = 0);

// Whether the map at `where` has `page`, reading only its bit.
bool usageMapHas(const Pager& pager, RowPointer where, uint32_t page);

// The global map: page 1, row 0. Its set bits are the free pages.
UsageMap readGlobalMap(const Pager& pager);

}  // namespace jet
