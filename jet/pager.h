// Pager: the file's pages, and transactions that change them.
//
// Reading: pages come from a read-only shared mapping of the file (address
// space for the largest Jet file is reserved once, so the mapping never
// moves and a page pointer stays valid while the file grows). page(n)
// refuses n >= pageCount(), so no caller reads outside the file.
//
// Writing: inside a transaction, changed pages live in buffers of their own
// (copy on first write; see PageBuffers) and page(n) returns the changed
// copy. commit() takes an exclusive lock on the file, writes the original
// of every changed page (and the original file length) to a rollback
// journal beside the file ("<file>-journal"), syncs it, writes the new
// pages, syncs, and deletes the journal. Opening a file whose journal is complete puts the original
// pages back first; an incomplete journal means the file was never touched.
// Readers take no locks. Savepoints roll back part of a transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "page_buffers.h"

namespace jet {

constexpr size_t kPageSize = 4096;

class GatheredWriter;

// Test hook: makes the k-th page write of later commits (journal or file,
// counted from 1) fail, by an error or by ending the process on the spot.
struct PagerFault {
  enum class Action { Throw, ExitProcess };
  static void arm(uint64_t failAtWrite, Action action);
  static void disarm();
};

// How many changed pages a transaction keeps in memory before the rest go
// to a scratch file; applies to pagers opened afterwards. Tests lower it.
struct PagerMemory {
  static constexpr size_t kDefaultHeapPages = 8192;  // 32 MB
  static void setHeapPages(size_t pages);
  static size_t heapPages();
};

struct CommitStats {
  size_t pagesChanged = 0;   // pages written to the file
  size_t journalBytes = 0;   // bytes written to the journal
};

// The pages changed in a transaction, found by page number in a flat table
// (a hash probe on every page read and change cost a bulk insert dearly).
// The buffers belong to the pager's PageBuffers.
class ChangedPages {
 public:
  uint8_t* find(uint32_t n) const { return n < byPage_.size() ? byPage_[n] : nullptr; }
  uint8_t* add(uint32_t n, uint8_t* buffer);
  void remove(uint32_t n);
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  // The changed page numbers, ascending.
  std::vector<uint32_t> pages() const;
  void clear();

 private:
  std::vector<uint8_t*> byPage_;
  std::vector<uint32_t> listed_;  // may name pages taken since
  size_t count_ = 0;
};

class Pager {
 public:
  // Opens and maps `path`, read-write when the file allows it (rolling back
  // a leftover journal first), else read-only. Raises jet::Error when the
  // file cannot be opened or is shorter than one page.
  // `readOnly` opens without write access even where the file allows it.
  explicit Pager(const std::string& path, bool readOnly = false);
  ~Pager();
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  const std::string& path() const { return path_; }
  uint32_t pageCount() const { return pageCount_; }
  uint64_t fileSize() const { return fileSize_; }
  bool contains(uint32_t n) const { return n < pageCount_; }

  // The 4096 bytes of page n (the transaction's copy when it changed it);
  // raises when n is outside the file.
  const uint8_t* page(uint32_t n) const;
  // Raw committed file bytes, for the header check before the length check.
  const uint8_t* data() const { return data_; }

  // Lets the kernel drop the mapping's resident pages. They stay in the page
  // cache and are faulted back on the next access, so pointers into the
  // mapping remain valid; long scans call this to keep memory bounded.
  void releaseResident() const;

  // Changed pages a transaction keeps in memory (PagerMemory when opened).
  size_t heapPages() const { return buffers_.heapPages(); }

  bool writable() const { return writable_; }
  bool inTransaction() const { return inTransaction_; }
  void begin();
  // The transaction's copy of page n, made on first use. REQUIRES: begin().
  uint8_t* change(uint32_t n);
  // A new zero page at the end of the file. REQUIRES: begin().
  uint32_t append();
  void commit();
  void rollback();

  // Work kept outside the pages (changed index nodes) that must reach them
  // before a commit, a savepoint, or a read of those pages.
  void setFlushHook(std::function<void()> hook) { flushHook_ = std::move(hook); }
  void flushPending() const {
    if (flushHook_) flushHook_();
  }

  // Savepoints nest; each returns to the state when it was taken.
  size_t savepoint();
  void rollbackTo(size_t savepoint);
  void release(size_t savepoint);
  size_t savepointCount() const { return savepoints_.size(); }

  // Changes whenever what page() returns may have changed; caches compare it.
  uint64_t generation() const { return generation_; }
  // Changes when a transaction ends or returns to a savepoint: caches of
  // what the transaction wrote compare it.
  uint64_t epoch() const { return epoch_; }
  const CommitStats& lastCommit() const { return lastCommit_; }

 private:
  struct Undo {
    uint32_t pageCount;
    std::unordered_map<uint32_t, uint8_t*> before;  // null: page was not changed before
  };
  void recoverJournal();
  void writeJournal(uint32_t committedPages);
  void writePages();
  void restoreFromJournal();
  void beforePageWrite(GatheredWriter& pending);
  uint8_t* newBuffer();
  void touchPage() const;
  void touchRead(uint32_t n) const;
  void recycleCopies(Undo& undo);
  std::string journalPath() const { return path_ + "-journal"; }

  std::string path_;
  const uint8_t* data_ = nullptr;
  size_t mapped_ = 0;
  uint64_t fileSize_ = 0;
  uint32_t pageCount_ = 0;     // including pages appended in the transaction
  uint32_t filePages_ = 0;     // pages in the file as committed
  int fd_ = -1;
  bool writable_ = false;
  bool inTransaction_ = false;
  uint64_t generation_ = 0;
  uint64_t epoch_ = 0;
  ChangedPages changed_;
  // Buffers of the changed pages and savepoints' copies. Those of the last
  // transaction are kept until the next one begins, so that pointers handed
  // out during it stay readable.
  PageBuffers buffers_;
  mutable size_t pagesTouched_ = 0;
  mutable uint32_t releases_ = 0;
  mutable std::vector<uint32_t> readIn_;  // by page: the release period it was last read in
  std::vector<Undo> savepoints_;
  CommitStats lastCommit_;
  std::function<void()> flushHook_;
};

}  // namespace jet
