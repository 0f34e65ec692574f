// Changing one real index: inserting and removing entries in its B-tree.
//
// Keeps the tree as FORMAT section 9 describes it and the checker verifies:
// entries strictly ordered by (key, row); a node entry holds the last entry
// of its child's subtree; a node with two or more children has a tail (its
// last child, without an entry); all leaves linked prev/next in order; the
// root page never moves. A page that no longer fits splits: its first half
// moves to a new page linked before it, the parent gets an entry for it; a
// full root moves its content to a new page and becomes its parent. A page
// that empties leaves the tree (an empty root becomes an empty leaf).
#pragma once

#include <string>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bytes.h"
#include "pager.h"
#include "tdef.h"

namespace jet {

// Parsed index pages kept across the changes of a transaction, so that a
// run of inserts does not parse the same pages again and again. Only
// IndexWriter changes index pages; the cache empties itself whenever the
// pager's content went back (rollback, savepoint) or was committed.
struct IndexNode {
  struct Entry {
    std::string key;
    RowPointer row;
    uint32_t child = 0;
  };
  uint32_t page = 0;
  uint32_t owner = 0;  // the table's tdef page
  bool leaf = true;
  uint32_t prev = 0, next = 0, tail = 0;
  std::vector<Entry> entries;
  // Sum of entry sizes and shortest key, or kUnknown after a change that
  // did not keep them; they spare a change walking the whole node.
  static constexpr size_t kUnknown = ~size_t{0};
  size_t rawBytes = kUnknown;
  size_t minKey = kUnknown;
  void forgetSizes() { rawBytes = minKey = kUnknown; }
  bool dirty = false;
};

//
// Changed nodes are written to their pages only when flushed: at commit,
// before a savepoint and before an index is read through its pages
// (Database registers flush() as the pager's flush hook), so a page that
// takes many entries in a transaction is serialised once.
// Which index a writer changes: what it needs of the table and the index,
// copied, so that entries held back for later outlive a table definition.
struct IndexTarget {
  std::string table;
  uint32_t tdefPage = 0;
  uint32_t rootPage = 0;
  RowPointer ownedMap;
  uint32_t distinctCountAt = 0;  // offset in the tdef page of the index's key count

  IndexTarget(const TableDef& def, size_t realIndex);
};

// Nodes are found by page number in a flat table (a hash look-up per level
// and index of every insert was a tenth of a bulk insert's time).
class IndexNodeCache {
 public:
  // Empties the cache first when the pager's epoch moved on.
  void sync(const Pager& pager);
  IndexNode* find(uint32_t page) const { return page < byPage_.size() ? byPage_[page].get() : nullptr; }
  IndexNode& put(IndexNode node);
  void markDirty(IndexNode& node);
  void forget(uint32_t page);  // a page that left the tree

  // Entries of non-unique indexes wait here and go into their trees sorted,
  // a leaf at a time, when the cache flushes (or the index is changed
  // otherwise): a bulk insert then touches each leaf once per flush
  // instead of once per row.
  void holdBack(Pager& pager, const IndexTarget& target, const std::string& key, RowPointer row);
  // Puts the held entries of one index (rootPage), or of all, into their trees.
  void mergeHeld(Pager& pager, uint32_t rootPage = 0);

  void flush(Pager& pager);
  void clear();
  // Between row changes and leaves of a merge: when many nodes are parsed,
  // writes the changed ones to their pages and lets all go, so that a
  // transaction touching a whole index holds a bounded part of it.
  void trim(Pager& pager);

 private:
  struct Held {
    IndexTarget target;
    std::string keys;  // every held key, end to end
    struct Item {
      uint64_t head;  // the key's first 8 bytes, big-endian, zero-padded: most comparisons end there
      uint32_t at;
      uint32_t length;
      RowPointer row;
    };
    std::vector<Item> items;
  };
  static constexpr size_t kMaxHeld = 1 << 18;  // bounds the memory a long transaction holds

  std::vector<Held> held_;  // merged ones stay, empty, so their memory serves again
  std::vector<std::pair<std::string_view, RowPointer>> mergeEntries_;
  size_t heldCount_ = 0;
  bool merging_ = false;
  std::vector<std::unique_ptr<IndexNode>> byPage_;
  size_t nodes_ = 0;
  std::vector<uint32_t> dirty_;  // may repeat a page; a node's flag decides
  uint64_t epoch_ = ~uint64_t{0};
};

class IndexWriter {
 public:
  IndexWriter(Pager& pager, IndexTarget target, IndexNodeCache& cache);

  // Adds (key, row); returns true when no entry with an equal key existed
  // (for the distinct-key statistic). With `unique`, an equal key raises
  // DuplicateKey and nothing changes.
  struct DuplicateKey {};
  bool insert(const std::string& key, RowPointer row, bool unique = false);
  // Adds entries sorted by (key, row), none already present; returns how
  // many of their keys were not in the index before.
  uint32_t insertSorted(const std::vector<std::pair<std::string_view, RowPointer>>& entries);
  // Whether some entry has exactly this key (reads only cached or unchanged pages).
  bool hasKey(const std::string& key);
  // Removes (key, row); raises when the index holds no such entry.
  void remove(const std::string& key, RowPointer row);

 private:
  using Entry = IndexNode::Entry;
  using Node = IndexNode;
  struct Last {
    std::string key;
    RowPointer row;
  };

  struct Layout {
    size_t prefix = 0;
    size_t bytes = 0;  // on the page, after prefix compression
  };
  Node& load(uint32_t page) const;
  Layout layout(const Node& node) const;
  void store(const Node& node);
  void store(const Node& node, const Layout& layout);
  // A node built aside (a new page's content) becomes the cached node.
  void storeBuilt(Node&& node);
  // With `bound`, also the last entry the leaf may take (none: no limit).
  std::vector<uint32_t> pathTo(std::string_view key, RowPointer row, std::optional<Last>* bound = nullptr) const;
  Last lastOf(const Node& node) const;
  // `lastMoved`: the node's last entry (or tail subtree) may have changed,
  // so its parent's entry for it must follow.
  void changed(std::vector<uint32_t>& path, size_t level, Node& node, bool lastMoved = true);
  void updateParent(std::vector<uint32_t>& path, size_t level, const Last& last);
  void split(std::vector<uint32_t>& path, size_t level, Node& node);
  void removeChild(std::vector<uint32_t>& path, size_t level, uint32_t child);
  static void applyTailRule(Node& node);
  uint32_t newPage(bool leaf);

  Pager& pager_;
  IndexTarget target_;
  IndexNodeCache& cache_;
};

}  // namespace jet
