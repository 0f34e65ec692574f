// Buffers for the pages a transaction changes.
//
// The first ones come from the heap; past a budget they are slots of a
// scratch file beside the database (unnamed, so a crash leaves nothing),
// mapped once at a fixed address. A transaction as large as the file then
// holds a bounded amount of memory: the kernel keeps the scratch pages in
// its cache or writes them out. Space for the slots is reserved on disk
// before they are handed out, so a full disk is an error, not a fault.
//
// A buffer never moves and stays valid until reset(), which the pager
// calls when the next transaction begins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jet {

class PageBuffers {
 public:
  // `folder` holds the scratch file; `heapPages` buffers come from the heap first.
  PageBuffers(std::string folder, size_t heapPages);
  ~PageBuffers();
  PageBuffers(const PageBuffers&) = delete;
  PageBuffers& operator=(const PageBuffers&) = delete;

  // 4096 bytes, content undefined. Raises jet::Error when the scratch file
  // cannot be made or grown (a full disk).
  uint8_t* get();
  // Takes back a buffer that nothing points to any more, to hand out again.
  void recycle(uint8_t* buffer) { free_.push_back(buffer); }
  // Forgets every buffer handed out; frees the heap ones, empties the scratch file.
  void reset();

  size_t heapPages() const { return heapPages_; }
  // Lets the kernel drop the scratch mapping's resident pages (they stay
  // in its cache, pointers stay valid); bounds the process's memory.
  void releaseResident() const;

 private:
  void openScratch();
  void growScratch();

  std::string folder_;
  size_t heapPages_;
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;  // heap buffers, kChunkPages each
  std::vector<uint8_t*> free_;
  size_t heapUsed_ = 0;
  int scratchFd_ = -1;
  uint8_t* scratch_ = nullptr;
  size_t scratchReserved_ = 0;  // slots the file has room for
  size_t scratchUsed_ = 0;
};

}  // namespace jet
