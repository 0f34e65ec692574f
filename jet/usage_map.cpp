#include "usage_map.h"

#include <algorithm>
#include <cstring>

#include "data_page.h"
#include "error.h"

namespace jet {

namespace {

void collectBits(const uint8_t* bits, size_t bytes, uint32_t first, std::vector<uint32_t>& out) {
  for (size_t j = 0; j < bytes; ++j) {
    uint8_t b = bits[j];
    while (b) {
      int k = __builtin_ctz(b);
      out.push_back(first + static_cast<uint32_t>(j * 8 + static_cast<size_t>(k)));
      b = static_cast<uint8_t>(b & (b - 1));
    }
  }
}

// Highest pages first, until `out` holds `limit` pages.
void collectBitsFromEnd(const uint8_t* bits, size_t bytes, uint32_t first, std::vector<uint32_t>& out, size_t limit) {
  for (size_t j = bytes; j-- > 0 && out.size() < limit;) {
    // Maps are mostly empty: skip zero bytes a word at a time.
    uint64_t word;
    while (j >= 8 && (std::memcpy(&word, bits + j - 7, 8), word == 0)) j -= 8;
    uint8_t b = bits[j];
    while (b && out.size() < limit) {
      int k = 31 - __builtin_clz(b);
      out.push_back(first + static_cast<uint32_t>(j * 8 + static_cast<size_t>(k)));
      b = static_cast<uint8_t>(b & ~(1u << k));
    }
  }
}

struct MapBytes {
  const uint8_t* row;
  size_t length;
};

MapBytes mapBytes(const Pager& pager, RowPointer where) {
  const std::string& file = pager.path();
  DataPageView page = dataPage(pager, where.page);
  RowSlot slot = page.slot(where.row, file);
  if (slot.deleted())
    failPage(file, where.page, "usage map row " + std::to_string(where.row) + " is deleted");
  if (slot.length() < 1) failPage(file, where.page, "usage map row " + std::to_string(where.row) + " is empty");
  return {page.bytes + slot.start, slot.length()};
}

const uint8_t* bitmapPageOf(const Pager& pager, uint32_t bitmapPage, RowPointer where) {
  const uint8_t* bp = pager.page(bitmapPage);
  if (bp[0] != kPageUsageBitmap)
    failPage(pager.path(), bitmapPage, "is named by the usage map at page " + std::to_string(where.page) + " row " +
                                           std::to_string(where.row) + " but is not a usage bitmap page");
  return bp;
}

bool bitSet(const uint8_t* bits, uint64_t k) { return (bits[k / 8] >> (k % 8)) & 1; }

}  // namespace

bool UsageMap::contains(uint32_t page) const {
  return std::binary_search(pages.begin(), pages.end(), page);
}

bool usageMapHas(const Pager& pager, RowPointer where, uint32_t page) {
  auto [row, length] = mapBytes(pager, where);
  if (row[0] == 0) {
    if (length < 5) return false;
    uint32_t start = le32(row + 1);
    return page >= start && page - start < (length - 5) * 8 && bitSet(row + 5, page - start);
  }
  if (row[0] != 1) return false;
  size_t slot = page / kPagesPerBitmapPage;
  if (slot >= (length - 1) / 4) return false;
  uint32_t bitmapPage = le32(row + 1 + 4 * slot);
  if (bitmapPage == 0) return false;
  return bitSet(bitmapPageOf(pager, bitmapPage, where) + 4, page % kPagesPerBitmapPage);
}

UsageMap readUsageMap(const Pager& pager, RowPointer where, size_t lastOnly) {
  const std::string& file = pager.path();
  auto [row, length] = mapBytes(pager, where);

  UsageMap map;
  map.where = where;
  if (row[0] == 0) {
    if (length < 5)
      failPage(file, where.page, "inline usage map row " + std::to_string(where.row) + " is too short");
    map.kind = UsageMap::Kind::Inline;
    map.start = le32(row + 1);
    if (map.start > 0xFFFFFFu)
      failPage(file, where.page, "inline usage map row " + std::to_string(where.row) +
                                     " starts at impossible page " + std::to_string(map.start));
    uint64_t end = static_cast<uint64_t>(map.start) + (length - 5) * 8;
    map.coveredEnd = static_cast<uint32_t>(std::min<uint64_t>(end, 0xFFFFFFFFu));
    if (lastOnly)
      collectBitsFromEnd(row + 5, length - 5, map.start, map.pages, lastOnly);
    else
      collectBits(row + 5, length - 5, map.start, map.pages);
  } else if (row[0] == 1) {
    map.kind = UsageMap::Kind::Reference;
    size_t slots = (length - 1) / 4;
    map.coveredEnd = static_cast<uint32_t>(std::min<uint64_t>(
        static_cast<uint64_t>(slots) * kPagesPerBitmapPage, 0xFFFFFFFFu));
    for (size_t s = 0; s < slots; ++s) {
      size_t i = lastOnly ? slots - 1 - s : s;
      if (lastOnly && map.pages.size() >= lastOnly) break;
      uint32_t bitmapPage = le32(row + 1 + 4 * i);
      if (bitmapPage == 0) continue;
      const uint8_t* bp = bitmapPageOf(pager, bitmapPage, where);
      map.bitmapPages.push_back(bitmapPage);
      if (lastOnly)
        collectBitsFromEnd(bp + 4, kPageSize - 4, static_cast<uint32_t>(i * kPagesPerBitmapPage), map.pages, lastOnly);
      else
        collectBits(bp + 4, kPageSize - 4, static_cast<uint32_t>(i * kPagesPerBitmapPage), map.pages);
    }
  } else {
    failPage(file, where.page, "usage map row " + std::to_string(where.row) + " has unknown kind " +
                                   std::to_string(row[0]));
  }
  if (lastOnly) {
    std::reverse(map.pages.begin(), map.pages.end());
    std::reverse(map.bitmapPages.begin(), map.bitmapPages.end());
  }
  return map;
}

UsageMap readGlobalMap(const Pager& pager) {
  return readUsageMap(pager, RowPointer{1, 0});
}

}  // namespace jet
