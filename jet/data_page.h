// Data pages (type 0x01): the row offset table and row bounds.
//
// Layout: 01 01, u16 free space, u32 owner, u32, u16 row count n, then n
// u16 offsets. The low 13 bits of an offset are the row's start; 0x8000
// marks a deleted row (or an overflow target), 0x4000 an overflow pointer.
// Row i spans [start(i), start(i-1)), row 0 ends at 4096.
#pragma once

#include <cstdint>
#include <string>

#include "pager.h"

namespace jet {

constexpr uint8_t kPageData = 0x01;
constexpr uint8_t kPageTdef = 0x02;
constexpr uint8_t kPageIndexNode = 0x03;
constexpr uint8_t kPageIndexLeaf = 0x04;
constexpr uint8_t kPageUsageBitmap = 0x05;

constexpr uint16_t kRowDeleted = 0x8000;
constexpr uint16_t kRowOverflow = 0x4000;
constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL" read as little-endian u32

struct RowSlot {
  uint16_t start = 0;
  uint16_t end = 0;
  uint16_t flags = 0;
  bool deleted() const { return flags & kRowDeleted; }
  bool overflow() const { return flags & kRowOverflow; }
  uint16_t length() const { return static_cast<uint16_t>(end - start); }
};

struct DataPageView {
  const uint8_t* bytes = nullptr;
  uint32_t number = 0;

  uint16_t freeSpace() const;
  uint32_t owner() const;
  uint16_t rowCount() const;
  // Row slot i, bounds-checked against the page (raises on a damaged table).
  RowSlot slot(unsigned i, const std::string& file) const;
};

// Page n as a data page; raises when it is not one.
DataPageView dataPage(const Pager& pager, uint32_t n);

// Writing (inside a pager transaction).
constexpr size_t kMaxRowsPerPage = 255;
constexpr size_t kMaxRowLength = kPageSize - 14 - 2;  // a row must fit an empty page
// An empty data page owned by `owner` (a tdef page, or kLvalOwner).
void initDataPage(uint8_t* page, uint32_t owner);
bool hasRoomFor(const DataPageView& page, size_t length);
// Adds a row at the end of the row table; returns its number. REQUIRES: room.
uint8_t addRow(Pager& pager, uint32_t page, const uint8_t* bytes, size_t length);
// Marks row `row` deleted (0xC000) and gives its bytes back, moving the rows
// stored below it; row numbers do not change.
void removeRow(Pager& pager, uint32_t page, unsigned row);

}  // namespace jet
