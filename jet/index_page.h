// Index pages (types 0x03 node, 0x04 leaf) and walking the B-tree.
//
// Page layout: type, 01, u16 free space, u32 tdef page, u32 0, u32 prev,
// u32 next, u32 tail (nodes), u16 shared prefix length, a 453-byte bitmap
// whose set bit b marks an entry ending at 0x1E0 + b, then the entries.
// Every entry after the first omits the shared prefix. A leaf entry is key
// bytes + big-endian row pointer (3-byte page, row); a node entry adds the
// big-endian child page and carries the last key of that child's subtree.
// The last child of a node is its tail and has no entry.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bytes.h"
#include "pager.h"
#include "tdef.h"

namespace jet {

constexpr size_t kIndexEntriesStart = 0x1E0;
constexpr size_t kIndexBitmapStart = 27;

struct IndexEntry {
  std::string key;  // key bytes without the row pointer
  RowPointer row;
  uint32_t child = 0;  // node entries only
};

struct IndexPage {
  uint32_t number = 0;
  uint8_t type = 0;
  uint16_t freeSpace = 0;
  uint32_t owner = 0;
  uint32_t prev = 0, next = 0, tail = 0;
  uint16_t prefixLength = 0;
  size_t usedEnd = 0;  // end of the last entry
  std::vector<IndexEntry> entries;

  bool isLeaf() const { return type == 0x04; }
};

// Parses an index page; raises on a page of another type or entries that do
// not fit.
IndexPage readIndexPage(const Pager& pager, uint32_t page);

// Entries order by key bytes (unsigned, shorter prefix first), then row.
int compareEntry(const std::string& keyA, RowPointer rowA, const std::string& keyB, RowPointer rowB);

// Reads one real index through its B-tree.
class IndexReader {
 public:
  IndexReader(const Pager& pager, const TableDef& def, const RealIndex& index);

  // Calls `visit` on leaf entries in key order, starting at the first entry
  // whose key is >= `from`, until it returns false.
  void scanFrom(const std::string& from, const std::function<bool(const IndexEntry&)>& visit) const;
  // Every leaf entry in order.
  void scanAll(const std::function<bool(const IndexEntry&)>& visit) const { scanFrom(std::string(), visit); }

  // Rows whose key starts with `prefix` (all key parts given, or the
  // leading ones): equality on the leading columns.
  std::vector<RowPointer> seekPrefix(const std::string& prefix) const;
  // Rows with lo <= key-part <= hi on the leading column(s) (encoded parts;
  // an empty bound is open). For a descending column pass bounds already
  // encoded descending: lo is then the encoding of the larger value.
  std::vector<RowPointer> seekRange(const std::string& lo, const std::string& hi) const;

  // Pages read by this reader so far (for tests that prove a seek).
  size_t pagesRead() const { return pagesRead_; }

 private:
  IndexPage page(uint32_t n) const;
  uint32_t descend(const std::string& from) const;

  const Pager& pager_;
  const TableDef& def_;
  const RealIndex& index_;
  mutable size_t pagesRead_ = 0;
};

}  // namespace jet
