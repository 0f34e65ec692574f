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
    : pager_(pager), number_(page), bytes_(pager.page(page)) {
  if (bytes_[0] != kPageIndexNode && bytes_[0] != kPageIndexLeaf) failPage(pager.path(), page, "is not an index page");
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
    uint32_t child = 0, last = 0;
    p.forEach([&](const IndexEntryRef& e) {
      last = e.child;
      if (compareEntry(e.key, e.row, from, RowPointer{}) >= 0) {
        child = e.child;
        return false;
      }
      return true;
    });
    if (child == 0) child = p.tail() ? p.tail() : last;
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
    p.forEach([&](const IndexEntryRef& e) {
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
