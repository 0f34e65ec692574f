#include "pager.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "bytes.h"
#include "error.h"

namespace jet {

namespace {

// Address space reserved for the mapping: the largest Jet 4 file (2 GB)
// and some room, so that growing the file never moves the mapping.
constexpr size_t kReserve = (size_t{1} << 31) + (size_t{1} << 24);
constexpr char kJournalMagic[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kJournalHeader = 20;
constexpr size_t kJournalRecord = 4 + kPageSize;
constexpr size_t kJournalTrailer = 12;
constexpr size_t kReleaseEvery = 4096;  // pages, see touchPage()

struct FaultState {
  uint64_t failAt = 0;  // 0: off
  PagerFault::Action action = PagerFault::Action::Throw;
  uint64_t writes = 0;
};
size_t& heapPagesSetting() {
  static size_t pages = PagerMemory::kDefaultHeapPages;
  return pages;
}

FaultState& fault() {
  static FaultState f;
  return f;
}

uint64_t fnv1a(const uint8_t* p, size_t n, uint64_t h = 1469598103934665603ull) {
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

std::string errnoText() { return std::strerror(errno); }

void syncFolderOf(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    ::fsync(d);
    ::close(d);
  }
}

// Holds the file's exclusive lock for a scope.
struct FileLock {
  int fd;
  explicit FileLock(int f) : fd(f) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { ::flock(fd, LOCK_UN); }
};

}  // namespace

// Every write to the file and its journal: writes at consecutive offsets
// go out in one call (a commit of many pages made one system call per page).
class GatheredWriter {
 public:
  GatheredWriter(int fd, std::string what) : fd_(fd), what_(std::move(what)) {}
  void add(const uint8_t* p, size_t n, uint64_t offset) {
    if (!pieces_.empty() && (offset != end_ || pieces_.size() == kMaxPieces)) flush();
    if (pieces_.empty()) start_ = end_ = offset;
    pieces_.push_back(iovec{const_cast<uint8_t*>(p), n});
    end_ += n;
  }
  void flush() {
    size_t first = 0;
    uint64_t offset = start_;
    while (first < pieces_.size()) {
      ssize_t w = ::pwritev(fd_, pieces_.data() + first, static_cast<int>(pieces_.size() - first), static_cast<off_t>(offset));
      if (w < 0) {
        if (errno == EINTR) continue;
        throw Error(what_ + ": " + errnoText());
      }
      if (w == 0) throw Error(what_ + ": nothing more could be written");
      offset += static_cast<uint64_t>(w);
      // Skip what was written; a piece written in part goes on from there.
      for (size_t done = static_cast<size_t>(w); done > 0;) {
        iovec& v = pieces_[first];
        size_t step = std::min(done, v.iov_len);
        v.iov_base = static_cast<uint8_t*>(v.iov_base) + step;
        v.iov_len -= step;
        done -= step;
        if (v.iov_len == 0) ++first;
      }
    }
    pieces_.clear();
  }

 private:
  static constexpr size_t kMaxPieces = 1024;  // IOV_MAX
  int fd_;
  std::string what_;  // the file, for messages
  std::vector<iovec> pieces_;
  uint64_t start_ = 0, end_ = 0;
};

void PagerFault::arm(uint64_t failAtWrite, Action action) {
  fault() = FaultState{failAtWrite, action, 0};
}
void PagerFault::disarm() { fault() = FaultState{}; }

void PagerMemory::setHeapPages(size_t pages) { heapPagesSetting() = pages; }
size_t PagerMemory::heapPages() { return heapPagesSetting(); }

// Every so many pages read, copied or written in a transaction, lets go of
// the resident pages of the mappings, so that a change as large as the file
// holds little of it.
void Pager::touchPage() const {
  if (++pagesTouched_ % kReleaseEvery == 0) {
    releaseResident();
    buffers_.releaseResident();
    ++releases_;
  }
}

// A page read counts once between releases: reading it again costs no
// memory, and counting every read made releases (and the faults after
// them) a third of a bulk insert's time.
void Pager::touchRead(uint32_t n) const {
  if (n >= readIn_.size()) readIn_.resize(std::max<size_t>(n + 1, readIn_.size() * 2), ~uint32_t{0});
  if (readIn_[n] == releases_) return;
  readIn_[n] = releases_;
  touchPage();
}

void Pager::beforePageWrite(GatheredWriter& pending) {
  touchPage();
  FaultState& f = fault();
  if (f.failAt == 0) return;
  if (++f.writes == f.failAt) {
    pending.flush();  // the writes before this one happened
    if (f.action == PagerFault::Action::ExitProcess) ::_exit(77);
    throw Error(path_ + ": simulated failure at page write " + std::to_string(f.writes));
  }
}

Pager::Pager(const std::string& path, bool readOnly)
    : path_(path), buffers_(std::filesystem::path(path).parent_path().string(), PagerMemory::heapPages()) {
  fd_ = readOnly ? -1 : ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  writable_ = fd_ >= 0;
  if (fd_ < 0 && (readOnly || errno == EACCES || errno == EROFS || errno == EPERM))
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) failFile(path, "cannot open: " + errnoText());
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    failFile(path, "is not a regular file");
  }
  try {
    recoverJournal();
  } catch (...) {
    ::close(fd_);
    throw;
  }
  ::fstat(fd_, &st);
  fileSize_ = static_cast<uint64_t>(st.st_size);
  if (fileSize_ < kPageSize) {
    ::close(fd_);
    failFile(path, "is " + std::to_string(fileSize_) + " bytes long, too short to be a Jet database (one page is 4096 bytes)");
  }
  if (fileSize_ > kReserve) {
    ::close(fd_);
    failFile(path, "is larger than any Jet 4 database can be");
  }
  mapped_ = kReserve;
  void* m = ::mmap(nullptr, mapped_, PROT_READ, MAP_SHARED, fd_, 0);
  if (m == MAP_FAILED) {
    int e = errno;
    ::close(fd_);
    failFile(path, std::string("cannot map the file: ") + std::strerror(e));
  }
  data_ = static_cast<const uint8_t*>(m);
  filePages_ = pageCount_ = static_cast<uint32_t>(fileSize_ / kPageSize);
}

Pager::~Pager() {
  if (data_) ::munmap(const_cast<uint8_t*>(data_), mapped_);
  if (fd_ >= 0) ::close(fd_);
}

uint8_t* ChangedPages::add(uint32_t n, uint8_t* buffer) {
  if (n >= byPage_.size()) byPage_.resize(std::max<size_t>(n + 1, byPage_.size() * 2));
  if (!byPage_[n]) {
    ++count_;
    listed_.push_back(n);
  }
  byPage_[n] = buffer;
  return buffer;
}

void ChangedPages::remove(uint32_t n) {
  if (n >= byPage_.size() || !byPage_[n]) return;
  --count_;
  byPage_[n] = nullptr;
}

std::vector<uint32_t> ChangedPages::pages() const {
  std::vector<uint32_t> out;
  out.reserve(count_);
  for (uint32_t n : listed_)
    if (byPage_[n]) out.push_back(n);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

void ChangedPages::clear() {
  for (uint32_t n : listed_) byPage_[n] = nullptr;
  listed_.clear();
  count_ = 0;
}

void Pager::releaseResident() const {
  ::madvise(const_cast<uint8_t*>(data_), static_cast<size_t>(filePages_) * kPageSize, MADV_DONTNEED);
}

const uint8_t* Pager::page(uint32_t n) const {
  if (n >= pageCount_)
    failPage(path_, n, "lies beyond the end of the file (" + std::to_string(pageCount_) + " pages)");
  if (inTransaction_) touchRead(n);
  if (!changed_.empty())
    if (const uint8_t* p = changed_.find(n)) return p;
  return data_ + static_cast<size_t>(n) * kPageSize;
}

void Pager::begin() {
  if (!writable_) failFile(path_, "cannot be changed: it is open read-only");
  if (inTransaction_) return;
  buffers_.reset();
  pagesTouched_ = 0;
  readIn_.clear();
  releases_ = 0;
  inTransaction_ = true;
}

uint8_t* Pager::change(uint32_t n) {
  if (!inTransaction_) failFile(path_, "page " + std::to_string(n) + " changed outside a transaction");
  if (n >= pageCount_) failPage(path_, n, "lies beyond the end of the file");
  uint8_t* existing = changed_.find(n);
  if (!savepoints_.empty()) {
    Undo& top = savepoints_.back();
    if (n < top.pageCount && !top.before.count(n)) {
      uint8_t* copy = nullptr;
      if (existing) {
        copy = newBuffer();
        std::memcpy(copy, existing, kPageSize);
      }
      top.before.emplace(n, copy);
    }
  }
  if (existing) return existing;
  uint8_t* buf = newBuffer();
  std::memcpy(buf, data_ + static_cast<size_t>(n) * kPageSize, kPageSize);
  ++generation_;
  return changed_.add(n, buf);
}

uint8_t* Pager::newBuffer() {
  touchPage();
  return buffers_.get();
}

uint32_t Pager::append() {
  if (!inTransaction_) failFile(path_, "page appended outside a transaction");
  if (static_cast<size_t>(pageCount_ + 1) * kPageSize > kReserve - (size_t{1} << 24))
    failFile(path_, "would grow beyond 2 GB, the largest a Jet 4 database can be");
  uint32_t n = pageCount_++;
  uint8_t* buf = newBuffer();
  std::memset(buf, 0, kPageSize);
  changed_.add(n, buf);
  ++generation_;
  return n;
}

void Pager::writeJournal(uint32_t committedPages) {
  int j = ::open(journalPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (j < 0) throw Error(journalPath() + ": cannot create the rollback journal: " + errnoText());
  try {
    std::vector<uint32_t> pages = changed_.pages();
    pages.erase(std::lower_bound(pages.begin(), pages.end(), committedPages), pages.end());
    uint8_t header[kJournalHeader];
    std::memcpy(header, kJournalMagic, 8);
    uint64_t size = fileSize_;
    for (int i = 0; i < 8; ++i) header[8 + i] = static_cast<uint8_t>(size >> (8 * i));
    uint32_t count = static_cast<uint32_t>(pages.size());
    for (int i = 0; i < 4; ++i) header[16 + i] = static_cast<uint8_t>(count >> (8 * i));
    GatheredWriter out(j, journalPath());
    out.add(header, sizeof header, 0);
    uint64_t sum = fnv1a(header, sizeof header);
    uint64_t offset = kJournalHeader;
    // A record is the page number, then the page as the file has it.
    std::vector<uint8_t> numbers(pages.size() * 4);
    for (size_t k = 0; k < pages.size(); ++k) {
      uint8_t* number = numbers.data() + 4 * k;
      for (int i = 0; i < 4; ++i) number[i] = static_cast<uint8_t>(pages[k] >> (8 * i));
      const uint8_t* original = data_ + static_cast<size_t>(pages[k]) * kPageSize;
      beforePageWrite(out);
      out.add(number, 4, offset);
      out.add(original, kPageSize, offset + 4);
      sum = fnv1a(original, kPageSize, fnv1a(number, 4, sum));
      offset += kJournalRecord;
    }
    uint8_t trailer[kJournalTrailer];
    for (int i = 0; i < 8; ++i) trailer[i] = static_cast<uint8_t>(sum >> (8 * i));
    std::memcpy(trailer + 8, "END!", 4);
    out.add(trailer, sizeof trailer, offset);
    out.flush();
    if (::fsync(j) != 0) throw Error(journalPath() + ": cannot sync the rollback journal: " + errnoText());
    lastCommit_.journalBytes = offset + kJournalTrailer;
  } catch (...) {
    ::close(j);
    ::unlink(journalPath().c_str());
    throw;
  }
  ::close(j);
  syncFolderOf(path_);
}

void Pager::writePages() {
  std::vector<uint32_t> pages = changed_.pages();
  GatheredWriter out(fd_, path_);
  for (uint32_t n : pages) {
    beforePageWrite(out);
    out.add(changed_.find(n), kPageSize, static_cast<uint64_t>(n) * kPageSize);
  }
  out.flush();
  if (::fsync(fd_) != 0) throw Error(path_ + ": cannot sync: " + errnoText());
  lastCommit_.pagesChanged = pages.size();
}

// Puts back what a complete journal holds; returns quietly when there is
// no journal, removes an incomplete one (the file was never touched).
void Pager::restoreFromJournal() {
  int j = ::open(journalPath().c_str(), O_RDONLY | O_CLOEXEC);
  if (j < 0) {
    if (errno == ENOENT) return;
    throw Error(journalPath() + ": cannot read the rollback journal: " + errnoText());
  }
  struct stat st {};
  ::fstat(j, &st);
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t r = ::pread(j, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  ::close(j);
  bool complete = false;
  uint32_t count = 0;
  if (got == bytes.size() && bytes.size() >= kJournalHeader + kJournalTrailer &&
      std::memcmp(bytes.data(), kJournalMagic, 8) == 0) {
    count = le32(bytes.data() + 16);
    size_t expected = kJournalHeader + static_cast<size_t>(count) * kJournalRecord + kJournalTrailer;
    if (bytes.size() == expected && std::memcmp(bytes.data() + expected - 4, "END!", 4) == 0)
      complete = fnv1a(bytes.data(), expected - kJournalTrailer) == le64(bytes.data() + expected - kJournalTrailer);
  }
  if (complete) {
    uint64_t size = le64(bytes.data() + 8);
    GatheredWriter out(fd_, path_);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* rec = bytes.data() + kJournalHeader + static_cast<size_t>(i) * kJournalRecord;
      out.add(rec + 4, kPageSize, static_cast<uint64_t>(le32(rec)) * kPageSize);
    }
    out.flush();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::fsync(fd_) != 0)
      throw Error(path_ + ": cannot finish rolling back an interrupted change: " + errnoText());
  }
  if (::unlink(journalPath().c_str()) != 0 && errno != ENOENT)
    throw Error(journalPath() + ": cannot remove the rollback journal: " + errnoText());
  syncFolderOf(path_);
}

void Pager::recoverJournal() {
  struct stat st {};
  if (::stat(journalPath().c_str(), &st) != 0) return;
  if (!writable_)
    failFile(path_, "has an unfinished change (" + journalPath() + ") but is read-only, so it cannot be rolled back");
  // A writer in another process holds the lock while its journal exists.
  FileLock lock(fd_);
  restoreFromJournal();
}

void Pager::commit() {
  if (!inTransaction_) return;
  flushPending();
  if (changed_.empty()) {
    inTransaction_ = false;
    savepoints_.clear();
    return;
  }
  lastCommit_ = CommitStats{};
  {
    FileLock lock(fd_);
    writeJournal(filePages_);
    try {
      writePages();
    } catch (...) {
      try {
        restoreFromJournal();
      } catch (...) {
        writable_ = false;  // the journal stays for the next open to roll back
      }
      throw;
    }
    if (::unlink(journalPath().c_str()) != 0)
      throw Error(journalPath() + ": cannot remove the rollback journal: " + errnoText());
    syncFolderOf(path_);
  }
  filePages_ = pageCount_;
  fileSize_ = static_cast<uint64_t>(filePages_) * kPageSize;
  changed_.clear();
  savepoints_.clear();
  inTransaction_ = false;
  ++generation_;
  ++epoch_;
}

void Pager::rollback() {
  changed_.clear();
  savepoints_.clear();
  pageCount_ = filePages_;
  inTransaction_ = false;
  ++generation_;
  ++epoch_;
}

size_t Pager::savepoint() {
  flushPending();
  savepoints_.push_back(Undo{pageCount_, {}});
  return savepoints_.size() - 1;
}

void Pager::rollbackTo(size_t level) {
  if (level >= savepoints_.size()) return;
  for (size_t i = savepoints_.size(); i-- > level;) {
    for (auto& [n, before] : savepoints_[i].before) {
      uint8_t* current = changed_.find(n);
      if (!current) continue;
      if (before)
        std::memcpy(current, before, kPageSize);
      else
        changed_.remove(n);
    }
  }
  pageCount_ = savepoints_[level].pageCount;
  for (uint32_t n : changed_.pages())
    if (n >= pageCount_) changed_.remove(n);
  for (size_t i = level; i < savepoints_.size(); ++i) recycleCopies(savepoints_[i]);
  savepoints_.resize(level + 1);
  ++generation_;
  ++epoch_;
}

void Pager::release(size_t level) {
  if (level >= savepoints_.size()) return;
  if (level > 0) {
    Undo& below = savepoints_[level - 1];
    for (size_t i = level; i < savepoints_.size(); ++i)
      for (auto& [n, before] : savepoints_[i].before)
        if (n < below.pageCount && !below.before.count(n)) {
          below.before.emplace(n, before);
          before = nullptr;
        }
  }
  for (size_t i = level; i < savepoints_.size(); ++i) recycleCopies(savepoints_[i]);
  savepoints_.resize(level);
}

// A savepoint's copies are the pager's own (no pointer to them was handed
// out), so their buffers serve again at once: statements that each take a
// savepoint would otherwise pile up copies until the transaction ends.
void Pager::recycleCopies(Undo& undo) {
  for (auto& [n, before] : undo.before)
    if (before) buffers_.recycle(before);
  undo.before.clear();
}

}  // namespace jet
