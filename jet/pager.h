// Pager: the file's pages, read through a read-only shared mapping.
//
// Invariants: the mapping covers exactly pageCount() * 4096 bytes; page(n)
// refuses n >= pageCount(), so no caller can read outside the file. The file
// is never shrunk by this engine, so the mapping stays valid while open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet {

constexpr size_t kPageSize = 4096;

class Pager {
 public:
  // Opens and maps `path`. Raises jet::Error when the file cannot be opened,
  // is shorter than one page, or its length is not a whole number of pages
  // (checked after the header, so a Jet 3 file gets its own message).
  explicit Pager(const std::string& path);
  ~Pager();
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  const std::string& path() const { return path_; }
  uint32_t pageCount() const { return pageCount_; }
  uint64_t fileSize() const { return fileSize_; }

  // The 4096 bytes of page n; raises when n is outside the file.
  const uint8_t* page(uint32_t n) const;
  bool contains(uint32_t n) const { return n < pageCount_; }

  // Lets the kernel drop the mapping's resident pages. They stay in the page
  // cache and are faulted back on the next access, so pointers into the
  // mapping remain valid; long scans call this to keep memory bounded.
  void releaseResident() const;

  // Raw file bytes, for the header check before the length check.
  const uint8_t* data() const { return data_; }

 private:
  std::string path_;
  const uint8_t* data_ = nullptr;
  uint64_t fileSize_ = 0;
  uint32_t pageCount_ = 0;
  int fd_ = -1;
};

}  // namespace jet
