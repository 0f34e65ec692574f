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

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
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
int compareEntry(std::string_view keyA, RowPointer rowA, std::string_view keyB, RowPointer rowB);

[[noreturn]] void badEntry(const Pager& pager, uint32_t page, const char* what);

// An entry seen in place while walking a page: the key's bytes live in a
// scratch buffer that the next entry overwrites.
struct IndexEntryRef {
  std::string_view key;
  RowPointer row;
  uint32_t child = 0;
};

// Walks the entries of an index page without building them: each entry's
// full bytes (shared prefix + stored bytes) are assembled in one buffer.
// Raises on a page of another type or entries that do not fit.
class IndexPageView {
 public:
  IndexPageView(const Pager& pager, uint32_t page);
  bool isLeaf() const { return bytes_[0] == 0x04; }
  uint32_t owner() const { return le32(bytes_ + 4); }
  uint32_t next() const { return le32(bytes_ + 16); }
  uint32_t tail() const { return le32(bytes_ + 20); }
  // End of the last entry (where the bitmap's last set bit points).
  size_t usedEnd() const;
  // Calls `visit` on each entry in order until it returns false.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    forEachFrom(0, visit);
  }
  // The same from the entry numbered `first` on.
  template <typename Visit>
  void forEachFrom(size_t first, Visit&& visit) const;
  size_t entryCount() const {
    locate();
    return count_;
  }
  // The first entry whose key is not less than `key`, found by halving (the
  // shared prefix lets any entry be compared without the ones before it).
  size_t lowerBound(std::string_view key) const;

 private:
  static constexpr size_t kBitmapBytes = kIndexEntriesStart - kIndexBitmapStart;
  static constexpr size_t kWords = (kBitmapBytes + 7) / 8;
  static constexpr size_t kUnlocated = ~size_t{0};
  // Counts the bitmap's set bits word by word (once per view) and checks
  // the first and last entry's bounds; the rest need no check, as set bits
  // only ever increase.
  void locate() const;
  uint64_t word(size_t w) const;
  // Where entry i ends: the bitmap's i-th set bit, found through the counts.
  size_t endOf(size_t i) const;
  size_t startOf(size_t i) const { return i == 0 ? kIndexEntriesStart : endOf(i - 1); }
  size_t pointerBytes() const { return isLeaf() ? 4 : 8; }
  // Entry i's key length; raises when the entry is shorter than its pointer.
  size_t keyLength(size_t start, size_t end, size_t i) const;

  const Pager& pager_;
  uint32_t number_;
  const uint8_t* bytes_;
  size_t prefix_;
  mutable size_t count_ = kUnlocated;
  mutable uint16_t before_[kWords + 1];  // set bits in the words before word w
};

// Reads one real index through its B-tree.
class IndexReader {
 public:
  IndexReader(const Pager& pager, const TableDef& def, const RealIndex& index);

  // Calls `visit` on leaf entries in key order, starting at the first entry
  // whose key is >= `from`, until it returns false.
  void scanFrom(const std::string& from, const std::function<bool(const IndexEntryRef&)>& visit) const;
  // Every leaf entry in order.
  void scanAll(const std::function<bool(const IndexEntryRef&)>& visit) const { scanFrom(std::string(), visit); }

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
  IndexPageView page(uint32_t n) const;
  uint32_t descend(const std::string& from) const;

  const Pager& pager_;
  const TableDef& def_;
  const RealIndex& index_;
  mutable size_t pagesRead_ = 0;
};

template <typename Visit>
void IndexPageView::forEachFrom(size_t first, Visit&& visit) const {
  locate();
  if (first >= count_) return;  // also: no first entry, so no prefix to trust
  uint8_t full[kPageSize * 2];
  // Entries after the first are the shared prefix (the first entry's
  // leading bytes) followed by their own bytes.
  std::memcpy(full, bytes_ + kIndexEntriesStart, prefix_);
  size_t start = startOf(first);
  // The bitmap word holding entry `first`'s end, without the bits before it.
  size_t w = static_cast<size_t>(std::upper_bound(before_, before_ + kWords + 1, first) - before_) - 1;
  uint64_t bits = word(w);
  for (size_t skip = first - before_[w]; skip > 0; --skip) bits &= bits - 1;
  for (size_t i = first; i < count_; ++i) {
    while (bits == 0) bits = word(++w);
    size_t end = kIndexEntriesStart + 64 * w + static_cast<size_t>(__builtin_ctzll(bits));
    bits &= bits - 1;
    std::memcpy(full + (i == 0 ? 0 : prefix_), bytes_ + start, end - start);
    size_t keyLength = this->keyLength(start, end, i);
    IndexEntryRef e;
    e.key = std::string_view(reinterpret_cast<const char*>(full), keyLength);
    e.row = RowPointer{be24(full + keyLength), full[keyLength + 3]};
    if (!isLeaf()) e.child = be32(full + keyLength + 4);
    if (!visit(e)) return;
    start = end;
  }
}

}  // namespace jet
