#include "page_buffers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "error.h"
#include "pager.h"

namespace jet {

namespace {

constexpr size_t kChunkPages = 64;           // heap buffers come 256 KB at a time
constexpr size_t kGrowPages = 4096;          // the scratch file grows 16 MB at a time
constexpr size_t kScratchSlots = size_t{1} << 20;  // 4 GB: every page of the largest file, twice

// An unnamed file in `folder`: O_TMPFILE where the file system has it, else
// a named one removed at once.
int unnamedFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = (std::filesystem::path(folder) / ".jet-scratch-XXXXXX").string();
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

}  // namespace

PageBuffers::PageBuffers(std::string folder, size_t heapPages) : folder_(std::move(folder)), heapPages_(heapPages) {}

PageBuffers::~PageBuffers() {
  if (scratch_) ::munmap(scratch_, kScratchSlots * kPageSize);
  if (scratchFd_ >= 0) ::close(scratchFd_);
}

uint8_t* PageBuffers::get() {
  if (!free_.empty()) {
    uint8_t* b = free_.back();
    free_.pop_back();
    return b;
  }
  if (heapUsed_ < heapPages_) {
    size_t inChunk = heapUsed_ % kChunkPages;
    if (inChunk == 0) chunks_.emplace_back(new uint8_t[kChunkPages * kPageSize]);
    ++heapUsed_;
    return chunks_.back().get() + inChunk * kPageSize;
  }
  if (scratchUsed_ == scratchReserved_) growScratch();
  return scratch_ + scratchUsed_++ * kPageSize;
}

void PageBuffers::openScratch() {
  std::string folder = folder_.empty() ? "." : folder_;
  scratchFd_ = unnamedFile(folder);
  if (scratchFd_ < 0) {
    std::error_code ec;
    std::string tmp = std::filesystem::temp_directory_path(ec).string();
    if (!ec) scratchFd_ = unnamedFile(tmp);
  }
  if (scratchFd_ < 0)
    throw Error(folder + ": cannot make a scratch file for a large change: " + std::strerror(errno));
  void* m = ::mmap(nullptr, kScratchSlots * kPageSize, PROT_READ | PROT_WRITE, MAP_SHARED, scratchFd_, 0);
  if (m == MAP_FAILED) {
    int e = errno;
    ::close(scratchFd_);
    scratchFd_ = -1;
    throw Error(folder + ": cannot map a scratch file for a large change: " + std::strerror(e));
  }
  scratch_ = static_cast<uint8_t*>(m);
}

void PageBuffers::growScratch() {
  if (!scratch_) openScratch();
  if (scratchReserved_ + kGrowPages > kScratchSlots)
    throw Error("the change is larger than twice the largest Jet 4 database; make it in smaller parts");
  // Blocks allocated now: writing through the mapping can then not fail
  // for lack of space (which the kernel would report as a fault).
  int e = ::posix_fallocate(scratchFd_, 0, static_cast<off_t>((scratchReserved_ + kGrowPages) * kPageSize));
  if (e != 0)
    throw Error(folder_ + ": no room for the change's scratch file: " + std::strerror(e));
  // Mapped writable in one call: a fault per page costs far more, most of
  // all in a virtual machine. Kernels without it fault the pages in as used.
  ::madvise(scratch_ + scratchReserved_ * kPageSize, kGrowPages * kPageSize, MADV_POPULATE_WRITE);
  scratchReserved_ += kGrowPages;
}

void PageBuffers::reset() {
  free_.clear();
  chunks_.clear();
  heapUsed_ = 0;
  if (scratchReserved_ > 0) {
    releaseResident();
    if (::ftruncate(scratchFd_, 0) == 0) scratchReserved_ = 0;
  }
  scratchUsed_ = 0;
}

void PageBuffers::releaseResident() const {
  if (scratch_ && scratchUsed_ > 0) ::madvise(scratch_, scratchUsed_ * kPageSize, MADV_DONTNEED);
}

}  // namespace jet
