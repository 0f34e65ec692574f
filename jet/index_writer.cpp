#include "index_writer.h"

#include <algorithm>
#include <cstring>

#include "data_page.h"
#include "error.h"
#include "index_page.h"
#include "page_alloc.h"

namespace jet {

namespace {

constexpr size_t kEntrySpace = kPageSize - kIndexEntriesStart;  // 3616

std::string fullBytes(const std::string& key, RowPointer row, uint32_t child, bool leaf) {
  std::string s = key;
  s.push_back(static_cast<char>(row.page >> 16));
  s.push_back(static_cast<char>(row.page >> 8));
  s.push_back(static_cast<char>(row.page));
  s.push_back(static_cast<char>(row.row));
  if (!leaf) {
    for (int i = 3; i >= 0; --i) s.push_back(static_cast<char>(child >> (8 * i)));
  }
  return s;
}

// The shared prefix: common to the first and the last entry (and so to all
// of a sorted page), never reaching into a row pointer.
size_t prefixOf(const std::vector<std::string>& full, size_t minKey) {
  if (full.size() < 2) return 0;
  const std::string& a = full.front();
  const std::string& b = full.back();
  size_t p = 0;
  while (p < minKey && p < a.size() && p < b.size() && a[p] == b[p]) ++p;
  return p;
}

}  // namespace

IndexWriter::IndexWriter(Pager& pager, const TableDef& def, const RealIndex& index)
    : pager_(pager), def_(def), index_(index) {}

IndexWriter::Node IndexWriter::load(uint32_t page) const {
  IndexPage p = readIndexPage(pager_, page);
  if (p.owner != def_.tdefPage)
    failPage(pager_.path(), page, "index page belongs to another table than '" + def_.name + "'");
  Node n;
  n.page = page;
  n.leaf = p.isLeaf();
  n.prev = p.prev;
  n.next = p.next;
  n.tail = p.tail;
  for (IndexEntry& e : p.entries) n.entries.push_back(Entry{std::move(e.key), e.row, e.child});
  return n;
}

bool IndexWriter::fits(const Node& node) const {
  std::vector<std::string> full;
  size_t minKey = SIZE_MAX, total = 0;
  for (const Entry& e : node.entries) {
    full.push_back(fullBytes(e.key, e.row, e.child, node.leaf));
    minKey = std::min(minKey, e.key.size());
    total += full.back().size();
  }
  size_t prefix = prefixOf(full, minKey);
  if (!full.empty()) total -= prefix * (full.size() - 1);
  return total <= kEntrySpace;
}

void IndexWriter::store(const Node& node) {
  std::vector<std::string> full;
  size_t minKey = SIZE_MAX;
  for (const Entry& e : node.entries) {
    full.push_back(fullBytes(e.key, e.row, e.child, node.leaf));
    minKey = std::min(minKey, e.key.size());
  }
  size_t prefix = prefixOf(full, minKey);
  uint8_t* p = pager_.change(node.page);
  std::memset(p, 0, kPageSize);
  p[0] = node.leaf ? kPageIndexLeaf : kPageIndexNode;
  p[1] = 0x01;
  put32(p + 4, def_.tdefPage);
  put32(p + 12, node.prev);
  put32(p + 16, node.next);
  put32(p + 20, node.leaf ? 0 : node.tail);
  put16(p + 24, static_cast<uint16_t>(prefix));
  size_t at = kIndexEntriesStart;
  for (size_t i = 0; i < full.size(); ++i) {
    size_t skip = i == 0 ? 0 : prefix;
    size_t length = full[i].size() - skip;
    if (at + length > kPageSize) failPage(pager_.path(), node.page, "index entries do not fit the page");
    std::memcpy(p + at, full[i].data() + skip, length);
    at += length;
    size_t bit = at - kIndexEntriesStart;
    p[kIndexBitmapStart + bit / 8] = static_cast<uint8_t>(p[kIndexBitmapStart + bit / 8] | (1u << (bit % 8)));
  }
  put16(p + 2, static_cast<uint16_t>(kPageSize - at));
}

uint32_t IndexWriter::newPage(bool leaf) {
  uint32_t page = allocatePage(pager_);
  addToMap(pager_, index_.ownedMap, page);
  Node empty;
  empty.page = page;
  empty.leaf = leaf;
  store(empty);
  return page;
}

// Pages from the root to the leaf where (key, row) belongs.
std::vector<uint32_t> IndexWriter::pathTo(const std::string& key, RowPointer row) const {
  std::vector<uint32_t> path;
  uint32_t n = index_.rootPage;
  for (;;) {
    if (path.size() > 32) failPage(pager_.path(), n, "index of '" + def_.name + "' is deeper than 32 levels");
    path.push_back(n);
    Node node = load(n);
    if (node.leaf) return path;
    uint32_t child = 0;
    for (const Entry& e : node.entries)
      if (compareEntry(e.key, e.row, key, row) >= 0) {
        child = e.child;
        break;
      }
    if (child == 0) child = node.tail ? node.tail : (node.entries.empty() ? 0 : node.entries.back().child);
    if (child == 0) failPage(pager_.path(), n, "index node page has no children");
    n = child;
  }
}

IndexWriter::Last IndexWriter::lastOf(const Node& node) const {
  if (node.leaf || node.tail == 0) {
    if (node.entries.empty()) return Last{};
    return Last{node.entries.back().key, node.entries.back().row};
  }
  return lastOf(load(node.tail));
}

// Nodes with two or more children keep the last one as tail; a node with
// one child keeps it as an entry.
void IndexWriter::applyTailRule(Node& node) {
  if (node.leaf) return;
  size_t children = node.entries.size() + (node.tail ? 1 : 0);
  if (children >= 2 && node.tail == 0) {
    node.tail = node.entries.back().child;
    node.entries.pop_back();
  }
}

// `node` (path[level]) changed: write it, splitting when it overflows, and
// carry a changed last entry up.
void IndexWriter::changed(std::vector<uint32_t>& path, size_t level, Node& node) {
  if (!fits(node)) {
    split(path, level, node);
    return;
  }
  store(node);
  if (level > 0) updateParent(path, level, lastOf(node));
}

void IndexWriter::updateParent(std::vector<uint32_t>& path, size_t level, const Last& last) {
  Node parent = load(path[level - 1]);
  uint32_t child = path[level];
  if (parent.tail == child) {
    if (level - 1 > 0) updateParent(path, level - 1, last);
    return;
  }
  for (Entry& e : parent.entries) {
    if (e.child != child) continue;
    if (e.key == last.key && e.row == last.row) return;
    e.key = last.key;
    e.row = last.row;
    changed(path, level - 1, parent);
    return;
  }
  failPage(pager_.path(), parent.page, "index node page has no entry for child " + std::to_string(child));
}

void IndexWriter::split(std::vector<uint32_t>& path, size_t level, Node& node) {
  if (level == 0) {
    // The root keeps its page: its content moves to a new child first.
    Node child = node;
    child.page = newPage(node.leaf);
    child.prev = child.next = 0;
    Node root;
    root.page = node.page;
    root.leaf = false;
    Last last = lastOf(child);
    root.entries.push_back(Entry{last.key, last.row, child.page});
    store(root);
    path.insert(path.begin() + 1, child.page);
    split(path, 1, child);
    return;
  }
  Node left;
  left.page = newPage(node.leaf);
  left.leaf = node.leaf;
  size_t half = (node.entries.size() + 1) / 2;
  left.entries.assign(node.entries.begin(), node.entries.begin() + static_cast<long>(half));
  node.entries.erase(node.entries.begin(), node.entries.begin() + static_cast<long>(half));
  applyTailRule(left);
  // Link the new page before the old one on their level.
  left.prev = node.prev;
  left.next = node.page;
  if (node.prev) {
    Node before = load(node.prev);
    before.next = left.page;
    store(before);
  }
  node.prev = left.page;
  store(left);
  store(node);

  Node parent = load(path[level - 1]);
  Last last = lastOf(left);
  Entry entry{last.key, last.row, left.page};
  auto at = std::find_if(parent.entries.begin(), parent.entries.end(), [&](const Entry& e) { return e.child == node.page; });
  if (at == parent.entries.end() && parent.tail != node.page)
    failPage(pager_.path(), parent.page, "index node page has no entry for child " + std::to_string(node.page));
  parent.entries.insert(at, entry);
  applyTailRule(parent);
  changed(path, level - 1, parent);
}

bool IndexWriter::insert(const std::string& key, RowPointer row) {
  std::vector<uint32_t> path = pathTo(key, row);
  Node leaf = load(path.back());
  auto pos = std::find_if(leaf.entries.begin(), leaf.entries.end(),
                          [&](const Entry& e) { return compareEntry(e.key, e.row, key, row) >= 0; });
  if (pos != leaf.entries.end() && pos->key == key && pos->row == row)
    failPage(pager_.path(), leaf.page, "index of '" + def_.name + "' already holds this row");
  bool distinct = (pos == leaf.entries.end() || pos->key != key) &&
                  (pos == leaf.entries.begin() || std::prev(pos)->key != key);
  leaf.entries.insert(pos, Entry{key, row, 0});
  changed(path, path.size() - 1, leaf);
  return distinct;
}

void IndexWriter::remove(const std::string& key, RowPointer row) {
  std::vector<uint32_t> path = pathTo(key, row);
  Node leaf = load(path.back());
  auto pos = std::find_if(leaf.entries.begin(), leaf.entries.end(),
                          [&](const Entry& e) { return e.key == key && e.row == row; });
  if (pos == leaf.entries.end())
    failPage(pager_.path(), leaf.page, "index of '" + def_.name + "' has no entry for row " + std::to_string(row.row) +
                                           " of page " + std::to_string(row.page));
  leaf.entries.erase(pos);
  size_t level = path.size() - 1;
  if (leaf.entries.empty() && level > 0) {
    removeChild(path, level - 1, leaf.page);
    return;
  }
  changed(path, level, leaf);
}

// Takes the empty page `child` out of the tree below path[level].
void IndexWriter::removeChild(std::vector<uint32_t>& path, size_t level, uint32_t child) {
  Node gone = load(child);
  if (gone.prev) {
    Node before = load(gone.prev);
    before.next = gone.next;
    store(before);
  }
  if (gone.next) {
    Node after = load(gone.next);
    after.prev = gone.prev;
    store(after);
  }
  removeFromMap(pager_, index_.ownedMap, child);
  freePage(pager_, child);

  Node parent = load(path[level]);
  if (parent.tail == child) {
    parent.tail = 0;
    if (!parent.entries.empty()) {
      // The last entry's child becomes the tail when others remain.
      if (parent.entries.size() >= 2) {
        parent.tail = parent.entries.back().child;
        parent.entries.pop_back();
      }
    }
  } else {
    auto it = std::find_if(parent.entries.begin(), parent.entries.end(), [&](const Entry& e) { return e.child == child; });
    if (it == parent.entries.end())
      failPage(pager_.path(), parent.page, "index node page has no entry for child " + std::to_string(child));
    parent.entries.erase(it);
    if (parent.tail && parent.entries.empty()) {
      // One child left: it is kept as an entry, not a tail.
      Last last = lastOf(load(parent.tail));
      parent.entries.push_back(Entry{last.key, last.row, parent.tail});
      parent.tail = 0;
    }
  }
  if (parent.entries.empty() && parent.tail == 0) {
    if (level == 0) {
      Node root;
      root.page = parent.page;
      root.leaf = true;
      store(root);
      return;
    }
    removeChild(path, level - 1, parent.page);
    return;
  }
  path.resize(level + 1);
  changed(path, level, parent);
}

}  // namespace jet
