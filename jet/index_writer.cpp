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

// Bytes an entry takes on its page, before prefix compression.
size_t entrySize(const IndexNode::Entry& e, bool leaf) { return e.key.size() + (leaf ? 4 : 8); }

// The entries' bytes before prefix compression: kept on the node while it
// is known, else counted.
size_t rawBytesOf(const IndexNode& node) {
  if (node.rawBytes != IndexNode::kUnknown) return node.rawBytes;
  size_t raw = 0;
  for (const auto& e : node.entries) raw += entrySize(e, node.leaf);
  return raw;
}

// The shared prefix: common to the first and the last entry's key (and so
// to all of a sorted page), no longer than the shortest key, so it never
// reaches into a row pointer.
size_t prefixOf(const IndexNode& node) {
  if (node.entries.size() < 2) return 0;
  size_t minKey = node.minKey;
  if (minKey == IndexNode::kUnknown)
    for (const auto& e : node.entries) minKey = std::min(minKey, e.key.size());
  const std::string& a = node.entries.front().key;
  const std::string& b = node.entries.back().key;
  size_t p = 0;
  while (p < minKey && a[p] == b[p]) ++p;
  return p;
}

void putEntry(uint8_t* out, const IndexNode::Entry& e, bool leaf, size_t skip) {
  uint8_t full[8];
  full[0] = static_cast<uint8_t>(e.row.page >> 16);
  full[1] = static_cast<uint8_t>(e.row.page >> 8);
  full[2] = static_cast<uint8_t>(e.row.page);
  full[3] = e.row.row;
  for (int i = 0; i < 4; ++i) full[4 + i] = static_cast<uint8_t>(e.child >> (8 * (3 - i)));
  std::memcpy(out, e.key.data() + skip, e.key.size() - skip);
  std::memcpy(out + e.key.size() - skip, full, leaf ? 4 : 8);
}

}  // namespace

void writeIndexNode(Pager& pager, const IndexNode& node) {
  size_t prefix = prefixOf(node);
  uint8_t* p = pager.change(node.page);
  std::memset(p, 0, kIndexEntriesStart);
  p[0] = node.leaf ? kPageIndexLeaf : kPageIndexNode;
  p[1] = 0x01;
  put32(p + 4, node.owner);
  put32(p + 12, node.prev);
  put32(p + 16, node.next);
  put32(p + 20, node.leaf ? 0 : node.tail);
  put16(p + 24, static_cast<uint16_t>(prefix));
  size_t at = kIndexEntriesStart;
  for (size_t i = 0; i < node.entries.size(); ++i) {
    size_t skip = i == 0 ? 0 : prefix;
    size_t length = entrySize(node.entries[i], node.leaf) - skip;
    if (at + length > kPageSize) failPage(pager.path(), node.page, "index entries do not fit the page");
    putEntry(p + at, node.entries[i], node.leaf, skip);
    at += length;
    size_t bit = at - kIndexEntriesStart;
    p[kIndexBitmapStart + bit / 8] = static_cast<uint8_t>(p[kIndexBitmapStart + bit / 8] | (1u << (bit % 8)));
  }
  std::memset(p + at, 0, kPageSize - at);
  put16(p + 2, static_cast<uint16_t>(kPageSize - at));
}

void IndexNodeCache::sync(const Pager& pager) {
  if (epoch_ != pager.epoch()) {
    // The transaction ended or went back to a savepoint: what was not
    // written belongs to the undone part.
    clear();
    epoch_ = pager.epoch();
  }
}

void IndexNodeCache::clear() {
  byPage_.clear();
  nodes_ = 0;
  dirty_.clear();
  held_.clear();
  mergeEntries_ = {};
  heldCount_ = 0;
}

IndexNode& IndexNodeCache::put(IndexNode node) {
  uint32_t page = node.page;
  if (page >= byPage_.size()) byPage_.resize(std::max<size_t>(page + 1, byPage_.size() * 2));
  if (byPage_[page]) {
    bool dirty = byPage_[page]->dirty;
    *byPage_[page] = std::move(node);
    byPage_[page]->dirty = dirty;
  } else {
    node.dirty = false;
    byPage_[page] = std::make_unique<IndexNode>(std::move(node));
    ++nodes_;
  }
  return *byPage_[page];
}

void IndexNodeCache::markDirty(IndexNode& node) {
  if (node.dirty) return;
  node.dirty = true;
  dirty_.push_back(node.page);
}

void IndexNodeCache::forget(uint32_t page) {
  if (page < byPage_.size() && byPage_[page]) {
    byPage_[page].reset();
    --nodes_;
  }
}

void IndexNodeCache::trim(Pager& pager) {
  // A parsed leaf takes 5 to 10 times its page: as much memory as the
  // pager may keep changed pages in.
  if (nodes_ <= std::max<size_t>(pager.heapPages() / 8, 1)) return;
  flush(pager);
  byPage_.clear();
  nodes_ = 0;
}

void IndexNodeCache::flush(Pager& pager) {
  sync(pager);  // after a rollback, nothing cached may be written
  mergeHeld(pager);
  if (dirty_.empty()) return;
  std::sort(dirty_.begin(), dirty_.end());
  for (uint32_t page : dirty_) {
    IndexNode* node = find(page);
    if (!node || !node->dirty) continue;
    writeIndexNode(pager, *node);
    node->dirty = false;
  }
  dirty_.clear();
}

IndexTarget::IndexTarget(const TableDef& def, size_t realIndex)
    : table(def.name),
      tdefPage(def.tdefPage),
      rootPage(def.realIndexes.at(realIndex).rootPage),
      ownedMap(def.realIndexes[realIndex].ownedMap),
      distinctCountAt(static_cast<uint32_t>(63 + 12 * realIndex + 4)) {}

void IndexNodeCache::holdBack(Pager& pager, const IndexTarget& target, const std::string& key, RowPointer row) {
  sync(pager);
  auto held = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.target.rootPage == target.rootPage; });
  if (held == held_.end())
    held = held_.insert(held_.end(), Held{target, {}, {}});
  else if (held->items.empty())
    held->target = target;  // a merged one's buffers serve again, maybe for another index at that root
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i) head = (head << 8) | (i < key.size() ? static_cast<uint8_t>(key[i]) : 0);
  held->items.push_back(Held::Item{head, static_cast<uint32_t>(held->keys.size()), static_cast<uint32_t>(key.size()), row});
  held->keys += key;
  if (++heldCount_ >= kMaxHeld) mergeHeld(pager);
}

void IndexNodeCache::mergeHeld(Pager& pager, uint32_t rootPage) {
  sync(pager);
  if (merging_ || held_.empty()) return;
  merging_ = true;
  try {
    for (Held& held : held_) {
      if ((rootPage != 0 && held.target.rootPage != rootPage) || held.items.empty()) continue;
      // Merged in place and emptied, keeping their memory: regrowing it
      // for every merge cost a bulk insert more page faults than any other part.
      struct Empty {
        Held& held;
        size_t& count;
        ~Empty() {
          count -= held.items.size();
          held.items.clear();
          held.keys.clear();
        }
      } empty{held, heldCount_};
      std::string_view keys(held.keys);
      std::sort(held.items.begin(), held.items.end(), [&](const Held::Item& a, const Held::Item& b) {
        if (a.head != b.head) return a.head < b.head;
        return compareEntry(keys.substr(a.at, a.length), a.row, keys.substr(b.at, b.length), b.row) < 0;
      });
      mergeEntries_.clear();
      for (const Held::Item& i : held.items) mergeEntries_.emplace_back(keys.substr(i.at, i.length), i.row);
      uint32_t distinct = IndexWriter(pager, held.target, *this).insertSorted(mergeEntries_);
      if (distinct) {
        uint8_t* tdef = pager.change(held.target.tdefPage);
        put32(tdef + held.target.distinctCountAt, le32(tdef + held.target.distinctCountAt) + distinct);
      }
    }
  } catch (...) {
    merging_ = false;
    throw;
  }
  merging_ = false;
}

IndexWriter::IndexWriter(Pager& pager, IndexTarget target, IndexNodeCache& cache)
    : pager_(pager), target_(std::move(target)), cache_(cache) {
  cache.sync(pager);
}

IndexWriter::Node& IndexWriter::load(uint32_t page) const {
  if (Node* cached = cache_.find(page)) return *cached;
  IndexPage p = readIndexPage(pager_, page);
  if (p.owner != target_.tdefPage)
    failPage(pager_.path(), page, "index page belongs to another table than '" + target_.table + "'");
  Node n;
  n.page = page;
  n.leaf = p.isLeaf();
  n.prev = p.prev;
  n.next = p.next;
  n.tail = p.tail;
  for (IndexEntry& e : p.entries) n.entries.push_back(Entry{std::move(e.key), e.row, e.child});
  return cache_.put(std::move(n));
}

IndexWriter::Layout IndexWriter::layout(const Node& node) const {
  Layout l;
  l.prefix = prefixOf(node);
  l.bytes = rawBytesOf(node);
  if (!node.entries.empty()) l.bytes -= l.prefix * (node.entries.size() - 1);
  return l;
}

void IndexWriter::store(const Node& node) { store(node, layout(node)); }

// Pages are written when the cache flushes: the cached node is the page.
void IndexWriter::store(const Node& node, const Layout& l) {
  if (l.bytes > kEntrySpace) failPage(pager_.path(), node.page, "index entries do not fit the page");
  Node* cached = cache_.find(node.page);
  if (cached != &node) cached = &cache_.put(node);
  cached->owner = target_.tdefPage;
  cache_.markDirty(*cached);
}

void IndexWriter::storeBuilt(Node&& node) {
  if (layout(node).bytes > kEntrySpace) failPage(pager_.path(), node.page, "index entries do not fit the page");
  node.owner = target_.tdefPage;
  cache_.markDirty(cache_.put(std::move(node)));
}

uint32_t IndexWriter::newPage(bool leaf) {
  uint32_t page = allocatePage(pager_);
  addToMap(pager_, target_.ownedMap, page);
  Node empty;
  empty.page = page;
  empty.leaf = leaf;
  store(empty);
  return page;
}

// Pages from the root to the leaf where (key, row) belongs.
std::vector<uint32_t> IndexWriter::pathTo(std::string_view key, RowPointer row, std::optional<Last>* bound) const {
  std::vector<uint32_t> path;
  uint32_t n = target_.rootPage;
  for (;;) {
    if (path.size() > 32) failPage(pager_.path(), n, "index of '" + target_.table + "' is deeper than 32 levels");
    path.push_back(n);
    const Node& node = load(n);
    if (node.leaf) return path;
    uint32_t child = 0;
    auto at = std::lower_bound(node.entries.begin(), node.entries.end(), 0, [&](const Entry& e, int) {
      return compareEntry(e.key, e.row, key, row) < 0;
    });
    if (at != node.entries.end()) {
      child = at->child;
      if (bound) *bound = Last{at->key, at->row};
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
    node.forgetSizes();
  }
}

// `node` (path[level]) changed: write it, splitting when it overflows, and
// carry a changed last entry up.
void IndexWriter::changed(std::vector<uint32_t>& path, size_t level, Node& node, bool lastMoved) {
  // Most pages fit even without the shared prefix; only a nearly full one
  // needs the exact layout.
  if (node.rawBytes == Node::kUnknown || node.minKey == Node::kUnknown) {
    node.rawBytes = 0;
    for (const Entry& e : node.entries) {
      node.rawBytes += entrySize(e, node.leaf);
      node.minKey = std::min(node.minKey, e.key.size());
    }
  }
  Layout l;
  l.bytes = node.rawBytes;
  if (l.bytes > kEntrySpace) l = layout(node);
  if (l.bytes > kEntrySpace) {
    split(path, level, node);
    return;
  }
  store(node, l);
  if (level > 0 && lastMoved) updateParent(path, level, lastOf(node));
}

void IndexWriter::updateParent(std::vector<uint32_t>& path, size_t level, const Last& last) {
  Node& parent = load(path[level - 1]);
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
    parent.forgetSizes();
    // Without a tail, the parent's own last entry is this one when it is last.
    bool parentLastMoved = parent.tail == 0 && &e == &parent.entries.back();
    changed(path, level - 1, parent, parentLastMoved);
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
  // Pieces of the node's first entries move to new pages linked before it:
  // one half when the node holds up to two pages' worth, else full pages
  // until the rest fits (a sorted run merged into one leaf).
  const size_t raw = rawBytesOf(node);
  std::vector<size_t> cuts;  // end of each piece
  if (raw <= 2 * kEntrySpace) {
    cuts.push_back((node.entries.size() + 1) / 2);
  } else {
    size_t at = 0, rest = raw;
    while (rest > kEntrySpace && at < node.entries.size()) {
      size_t bytes = 0, from = at;
      while (at < node.entries.size() && bytes + entrySize(node.entries[at], node.leaf) <= kEntrySpace)
        bytes += entrySize(node.entries[at++], node.leaf);
      if (at == from) failPage(pager_.path(), node.page, "an index entry is larger than a page");
      rest -= bytes;
      cuts.push_back(at);
    }
  }
  std::vector<Entry> forParent;
  uint32_t prev = node.prev;
  size_t from = 0;
  for (size_t end : cuts) {
    Node left;
    left.page = newPage(node.leaf);
    left.leaf = node.leaf;
    left.entries.assign(std::make_move_iterator(node.entries.begin() + static_cast<long>(from)),
                        std::make_move_iterator(node.entries.begin() + static_cast<long>(end)));
    applyTailRule(left);
    left.prev = prev;
    left.next = node.page;  // until the next piece follows
    if (prev) {
      Node& before = load(prev);
      before.next = left.page;
      store(before);
    }
    Last last = lastOf(left);
    forParent.push_back(Entry{last.key, last.row, left.page});
    prev = left.page;
    from = end;
    storeBuilt(std::move(left));
  }
  node.entries.erase(node.entries.begin(), node.entries.begin() + static_cast<long>(from));
  node.forgetSizes();
  node.prev = prev;
  store(node);

  Node& parent = load(path[level - 1]);
  auto at = std::find_if(parent.entries.begin(), parent.entries.end(), [&](const Entry& e) { return e.child == node.page; });
  if (at == parent.entries.end() && parent.tail != node.page)
    failPage(pager_.path(), parent.page, "index node page has no entry for child " + std::to_string(node.page));
  parent.entries.insert(at, forParent.begin(), forParent.end());
  parent.forgetSizes();
  applyTailRule(parent);
  changed(path, level - 1, parent);
}

bool IndexWriter::insert(const std::string& key, RowPointer row, bool unique) {
  std::vector<uint32_t> path = pathTo(key, row);
  Node& leaf = load(path.back());
  auto pos = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), 0, [&](const Entry& e, int) {
    return compareEntry(e.key, e.row, key, row) < 0;
  });
  if (pos != leaf.entries.end() && pos->key == key && pos->row == row)
    failPage(pager_.path(), leaf.page, "index of '" + target_.table + "' already holds this row");
  // Equal keys sit next to each other, on this leaf or across its ends.
  const std::string* before = pos != leaf.entries.begin() ? &std::prev(pos)->key
                              : leaf.prev ? (load(leaf.prev).entries.empty() ? nullptr : &load(leaf.prev).entries.back().key)
                                          : nullptr;
  const std::string* after = pos != leaf.entries.end() ? &pos->key
                             : leaf.next ? (load(leaf.next).entries.empty() ? nullptr : &load(leaf.next).entries.front().key)
                                         : nullptr;
  bool distinct = !(before && *before == key) && !(after && *after == key);
  if (!distinct && unique) throw DuplicateKey();
  bool last = pos == leaf.entries.end();
  leaf.entries.insert(pos, Entry{key, row, 0});
  if (leaf.rawBytes != Node::kUnknown) leaf.rawBytes += key.size() + 4;
  if (leaf.minKey != Node::kUnknown) leaf.minKey = std::min(leaf.minKey, key.size());
  changed(path, path.size() - 1, leaf, last);
  return distinct;
}

uint32_t IndexWriter::insertSorted(const std::vector<std::pair<std::string_view, RowPointer>>& entries) {
  uint32_t distinct = 0;
  size_t i = 0;
  while (i < entries.size()) {
    cache_.trim(pager_);  // a merge may reach every leaf of the index
    // The run of entries that belong to the same leaf.
    std::optional<Last> bound;
    std::vector<uint32_t> path = pathTo(entries[i].first, entries[i].second, &bound);
    size_t j = i + 1;
    if (!bound)
      j = entries.size();
    else
      while (j < entries.size() && compareEntry(entries[j].first, entries[j].second, bound->key, bound->row) <= 0) ++j;

    Node& leaf = load(path.back());
    const std::vector<Entry>& old = leaf.entries;
    // A key is new when no old entry has it: here or at the ends of the
    // neighbouring leaves (the previous one may already hold this run's
    // key from the run before, which counted it).
    auto oldHas = [&](std::string_view key, RowPointer row) {
      auto pos = std::lower_bound(old.begin(), old.end(), 0,
                                  [&](const Entry& e, int) { return compareEntry(e.key, e.row, key, row) < 0; });
      if (pos != old.end() && pos->key == key) return true;
      if (pos != old.begin() && std::prev(pos)->key == key) return true;
      if (pos == old.begin() && leaf.prev) {
        const Node& before = load(leaf.prev);
        if (!before.entries.empty() && before.entries.back().key == key) return true;
      }
      if (pos == old.end() && leaf.next) {
        const Node& after = load(leaf.next);
        if (!after.entries.empty() && after.entries.front().key == key) return true;
      }
      return false;
    };
    for (size_t k = i; k < j; ++k)
      if ((k == i || entries[k].first != entries[k - 1].first) && !oldHas(entries[k].first, entries[k].second)) ++distinct;

    std::vector<Entry> merged;
    merged.reserve(old.size() + (j - i));
    size_t a = 0;
    for (size_t k = i; k < j; ++k) {
      int c = 1;
      while (a < old.size() && (c = compareEntry(old[a].key, old[a].row, entries[k].first, entries[k].second)) < 0)
        merged.push_back(std::move(leaf.entries[a++]));
      if (a < old.size() && c == 0)
        failPage(pager_.path(), leaf.page, "index of '" + target_.table + "' already holds this row");
      merged.push_back(Entry{std::string(entries[k].first), entries[k].second, 0});
    }
    bool lastMoved = a == old.size();
    for (; a < old.size(); ++a) merged.push_back(std::move(leaf.entries[a]));
    leaf.entries = std::move(merged);
    leaf.forgetSizes();
    changed(path, path.size() - 1, leaf, lastMoved);
    i = j;
  }
  return distinct;
}

bool IndexWriter::hasKey(const std::string& key) {
  cache_.mergeHeld(pager_, target_.rootPage);
  std::vector<uint32_t> path = pathTo(key, RowPointer{});
  const Node& leaf = load(path.back());
  auto pos = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), 0, [&](const Entry& e, int) {
    return compareEntry(e.key, e.row, key, RowPointer{}) < 0;
  });
  if (pos != leaf.entries.end()) return pos->key == key;
  if (!leaf.next) return false;
  const Node& next = load(leaf.next);
  return !next.entries.empty() && next.entries.front().key == key;
}

void IndexWriter::remove(const std::string& key, RowPointer row) {
  cache_.mergeHeld(pager_, target_.rootPage);
  std::vector<uint32_t> path = pathTo(key, row);
  Node& leaf = load(path.back());
  auto pos = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), 0, [&](const Entry& e, int) {
    return compareEntry(e.key, e.row, key, row) < 0;
  });
  if (pos == leaf.entries.end() || pos->key != key || pos->row != row)
    failPage(pager_.path(), leaf.page, "index of '" + target_.table + "' has no entry for row " + std::to_string(row.row) +
                                           " of page " + std::to_string(row.page));
  bool last = std::next(pos) == leaf.entries.end();
  if (leaf.rawBytes != Node::kUnknown) leaf.rawBytes -= entrySize(*pos, true);
  if (pos->key.size() == leaf.minKey) leaf.minKey = Node::kUnknown;
  leaf.entries.erase(pos);
  size_t level = path.size() - 1;
  if (leaf.entries.empty() && level > 0) {
    removeChild(path, level - 1, leaf.page);
    return;
  }
  changed(path, level, leaf, last);
}

// Takes the empty page `child` out of the tree below path[level].
void IndexWriter::removeChild(std::vector<uint32_t>& path, size_t level, uint32_t child) {
  Node gone = load(child);
  cache_.forget(child);
  if (gone.prev) {
    Node& before = load(gone.prev);
    before.next = gone.next;
    store(before);
  }
  if (gone.next) {
    Node& after = load(gone.next);
    after.prev = gone.prev;
    store(after);
  }
  removeFromMap(pager_, target_.ownedMap, child);
  freePage(pager_, child);

  Node& parent = load(path[level]);
  if (parent.tail == child) {
    parent.tail = 0;
    applyTailRule(parent);  // the last entry's child becomes the tail when others remain
  } else {
    auto it = std::find_if(parent.entries.begin(), parent.entries.end(), [&](const Entry& e) { return e.child == child; });
    if (it == parent.entries.end())
      failPage(pager_.path(), parent.page, "index node page has no entry for child " + std::to_string(child));
    parent.entries.erase(it);
    parent.forgetSizes();
    if (parent.tail && parent.entries.empty()) {
      // One child left: it is kept as an entry, not a tail.
      Last last = lastOf(load(parent.tail));
      parent.entries.push_back(Entry{last.key, last.row, parent.tail});
      parent.tail = 0;
      parent.forgetSizes();
    }
  }
  if (parent.entries.empty() && parent.tail == 0) {
    if (level == 0) {
      Node root;
      root.page = parent.page;
      root.leaf = true;
      store(root);  // replaces the cached node `parent` refers to
      return;
    }
    removeChild(path, level - 1, parent.page);
    return;
  }
  path.resize(level + 1);
  changed(path, level, parent);
}

}  // namespace jet
