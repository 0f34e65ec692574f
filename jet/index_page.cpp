#include "index_page.h"

#include <algorithm>
#include <cstring>

#include "data_page.h"
#include "error.h"

namespace jet {

IndexPage readIndexPage(const Pager& pager, uint32_t n) {
  IndexPageView view(pager, n);
  const uint8_t* p = pager.page(n);
  IndexPage page;
  page.number = n;
  page.type = p[0];
  page.freeSpace = le16(p + 2);
  page.owner = le32(p + 4);
  page.prev = le32(p + 12);
  page.next = le32(p + 16);
  page.tail = le32(p + 20);
  page.prefixLength = le16(p + 24);
  view.forEach([&](const IndexEntryRef& e) {
    page.entries.push_back(IndexEntry{std::string(e.key), e.row, e.child});
    return true;
  });
  page.usedEnd = view.usedEnd();
  return page;
}

void badEntry(const Pager& pager, uint32_t page, const char* what) { failPage(pager.path(), page, what); }

IndexPageView::IndexPageView(const Pager& pager, uint32_t page)
    : pager_(pager), number_(page), bytes_(pager.page(page)), prefix_(le16(bytes_ + 24)) {
  if (bytes_[0] != kPageIndexNode && bytes_[0] != kPageIndexLeaf) failPage(pager.path(), page, "is not an index page");
}

uint64_t IndexPageView::word(size_t w) const {
  uint64_t x = 0;
  size_t from = w * 8;
  std::memcpy(&x, bytes_ + kIndexBitmapStart + from, std::min<size_t>(8, kBitmapBytes - from));
  return le64(reinterpret_cast<const uint8_t*>(&x));
}

void IndexPageView::locate() const {
  if (count_ != kUnlocated) return;
  size_t n = 0;
  for (size_t w = 0; w < kWords; ++w) {
    before_[w] = static_cast<uint16_t>(n);
    n += static_cast<size_t>(__builtin_popcountll(word(w)));
  }
  before_[kWords] = static_cast<uint16_t>(n);
  count_ = n;
  if (n == 0) return;
  size_t first = endOf(0);
  if (first <= kIndexEntriesStart || endOf(n - 1) > kPageSize) {
    count_ = kUnlocated;
    badEntry(pager_, number_, "index entry ends at impossible offset");
  }
  if (first - kIndexEntriesStart < prefix_) {
    count_ = kUnlocated;
    badEntry(pager_, number_, "first index entry is shorter than the shared prefix");
  }
}

size_t IndexPageView::endOf(size_t i) const {
  size_t w = static_cast<size_t>(std::upper_bound(before_, before_ + kWords + 1, i) - before_) - 1;
  uint64_t bits = word(w);
  for (size_t skip = i - before_[w]; skip > 0; --skip) bits &= bits - 1;
  return kIndexEntriesStart + 64 * w + static_cast<size_t>(__builtin_ctzll(bits));
}

size_t IndexPageView::keyLength(size_t start, size_t end, size_t i) const {
  size_t full = end - start + (i == 0 ? 0 : prefix_);
  if (full < pointerBytes()) badEntry(pager_, number_, "index entry is shorter than its row pointer");
  return full - pointerBytes();
}

size_t IndexPageView::lowerBound(std::string_view key) const {
  locate();
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  // An entry's key is (shared part, own part): compared with `key` in two steps.
  auto less = [&](size_t i) {
    size_t start = startOf(i);
    size_t length = keyLength(start, endOf(i), i);
    size_t shared = i == 0 ? length : std::min(prefix_, length);
    const uint8_t* own = bytes_ + start;
    const uint8_t* head = i == 0 ? own : bytes_ + kIndexEntriesStart;
    size_t n = std::min(shared, key.size());
    if (int c = std::memcmp(head, k, n)) return c < 0;
    if (n < shared) return false;  // `key` ended inside the shared part: it is the shorter
    size_t rest = length - shared;
    size_t m = std::min(rest, key.size() - n);
    if (int c = std::memcmp(own, k + n, m)) return c < 0;
    return length < key.size();
  };
  size_t lo = 0, hi = count_;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (less(mid))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

size_t IndexPageView::usedEnd() const {
  for (size_t byte = kIndexEntriesStart - kIndexBitmapStart; byte-- > 0;) {
    uint8_t bits = bytes_[kIndexBitmapStart + byte];
    if (bits) return kIndexEntriesStart + byte * 8 + static_cast<size_t>(31 - __builtin_clz(bits));
  }
  return kIndexEntriesStart;
}

int compareEntry(std::string_view keyA, RowPointer rowA, std::string_view keyB, RowPointer rowB) {
  int c = std::memcmp(keyA.data(), keyB.data(), std::min(keyA.size(), keyB.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  if (keyA.size() != keyB.size()) return keyA.size() < keyB.size() ? -1 : 1;
  if (rowA == rowB) return 0;
  return rowA < rowB ? -1 : 1;
}

IndexReader::IndexReader(const Pager& pager, const TableDef& def, const RealIndex& index)
    : pager_(pager), def_(def), index_(index) {
  pager.flushPending();
}

IndexPageView IndexReader::page(uint32_t n) const {
  ++pagesRead_;
  IndexPageView p(pager_, n);
  if (p.owner() != def_.tdefPage)
    failPage(pager_.path(), n, "index page belongs to table definition " + std::to_string(p.owner()) + ", not to '" +
                                   def_.name + "'");
  return p;
}

// The leaf where the first entry >= `from` lives.
uint32_t IndexReader::descend(const std::string& from) const {
  uint32_t n = index_.rootPage;
  for (int depth = 0;; ++depth) {
    if (depth > 32) failPage(pager_.path(), n, "index of '" + def_.name + "' is deeper than 32 levels (a loop?)");
    IndexPageView p = page(n);
    if (p.isLeaf()) return n;
    uint32_t child = 0;
    size_t at = p.lowerBound(from);
    if (at < p.entryCount()) p.forEachFrom(at, [&](const IndexEntryRef& e) { return (child = e.child, false); });
    if (child == 0) child = p.tail();
    if (child == 0 && p.entryCount() > 0)
      p.forEachFrom(p.entryCount() - 1, [&](const IndexEntryRef& e) { return (child = e.child, false); });
    if (child == 0) failPage(pager_.path(), n, "index node page has no children");
    n = child;
  }
}

void IndexReader::scanFrom(const std::string& from, const std::function<bool(const IndexEntryRef&)>& visit) const {
  uint32_t n = descend(from);
  bool more = true;
  for (uint32_t hops = 0; n != 0 && more; ++hops) {
    if (hops > pager_.pageCount()) failPage(pager_.path(), n, "index leaf chain of '" + def_.name + "' loops");
    IndexPageView p = page(n);
    if (!p.isLeaf()) failPage(pager_.path(), n, "index leaf chain of '" + def_.name + "' reaches a node page");
    p.forEachFrom(hops == 0 ? p.lowerBound(from) : 0, [&](const IndexEntryRef& e) {
      if (compareEntry(e.key, e.row, from, RowPointer{}) < 0) return true;
      more = visit(e);
      return more;
    });
    n = p.next();
  }
}

std::vector<RowPointer> IndexReader::seekPrefix(const std::string& prefix) const {
  std::vector<RowPointer> rows;
  scanFrom(prefix, [&](const IndexEntryRef& e) {
    if (e.key.substr(0, prefix.size()) != prefix) return false;
    rows.push_back(e.row);
    return true;
  });
  return rows;
}

std::vector<RowPointer> IndexReader::seekRange(const std::string& lo, const std::string& hi) const {
  std::vector<RowPointer> rows;
  scanFrom(lo, [&](const IndexEntryRef& e) {
    if (!hi.empty() && e.key.substr(0, hi.size()) > hi) return false;
    rows.push_back(e.row);
    return true;
  });
  return rows;
}

}  // namespace jet
