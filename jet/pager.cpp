#include "pager.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.h"

namespace jet {

Pager::Pager(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) failFile(path, std::string("cannot open: ") + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    int e = errno;
    ::close(fd_);
    failFile(path, std::string("cannot read its size: ") + std::strerror(e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    failFile(path, "is not a regular file");
  }
  fileSize_ = static_cast<uint64_t>(st.st_size);
  if (fileSize_ < kPageSize) {
    ::close(fd_);
    failFile(path, "is " + std::to_string(fileSize_) +
                       " bytes long, too short to be a Jet database (one page is 4096 bytes)");
  }
  if (fileSize_ / kPageSize > 0xFFFFFFu) {
    ::close(fd_);
    failFile(path, "is larger than any Jet 4 database can be");
  }
  void* m = ::mmap(nullptr, fileSize_, PROT_READ, MAP_SHARED, fd_, 0);
  if (m == MAP_FAILED) {
    int e = errno;
    ::close(fd_);
    failFile(path, std::string("cannot map the file: ") + std::strerror(e));
  }
  data_ = static_cast<const uint8_t*>(m);
  pageCount_ = static_cast<uint32_t>(fileSize_ / kPageSize);
}

Pager::~Pager() {
  if (data_) ::munmap(const_cast<uint8_t*>(data_), fileSize_);
  if (fd_ >= 0) ::close(fd_);
}

void Pager::releaseResident() const {
  ::madvise(const_cast<uint8_t*>(data_), fileSize_, MADV_DONTNEED);
}

const uint8_t* Pager::page(uint32_t n) const {
  if (n >= pageCount_)
    failPage(path_, n, "lies beyond the end of the file (" + std::to_string(pageCount_) +
                           " pages)");
  return data_ + static_cast<size_t>(n) * kPageSize;
}

}  // namespace jet
