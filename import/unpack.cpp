#include "unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

namespace import {

namespace fs = std::filesystem;

namespace {

// Closes a descriptor on every path out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool samePath(const std::string& a, const std::string& b) {
  std::error_code e1, e2;
  fs::path x = fs::weakly_canonical(a, e1), y = fs::weakly_canonical(b, e2);
  if (e1 || e2) return a == b;
  return x == y;
}

// The inflater, ended on every path out.
struct Inflater {
  z_stream z{};
  bool started = false;
  ~Inflater() {
    if (started) inflateEnd(&z);
  }
};

// A temporary file beside the target, removed unless kept.
struct TempFile {
  std::string path;
  Fd file;
  bool keep = false;
  ~TempFile() {
    if (!keep && !path.empty()) ::unlink(path.c_str());
  }
};

void writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw UnpackError("Stream write error");
    p += w;
    n -= static_cast<size_t>(w);
  }
}

}  // namespace

std::string targetPathFor(const std::string& packagePath) {
  std::string out;
  for (size_t i = 0; i < packagePath.size();) {
    if (i + 4 <= packagePath.size() && packagePath[i] == '.' && std::tolower(static_cast<unsigned char>(packagePath[i + 1])) == 'o' &&
        std::tolower(static_cast<unsigned char>(packagePath[i + 2])) == 'p' &&
        std::tolower(static_cast<unsigned char>(packagePath[i + 3])) == 'k') {
      out += ".mdb";
      i += 4;
    } else {
      out += packagePath[i++];
    }
  }
  return out;
}

void unpackPackage(const std::string& packagePath, const std::string& archivePath) {
  const std::string target = targetPathFor(packagePath);
  if (target == packagePath)
    throw UnpackError("The package " + packagePath + " has no \".opk\" in its name, so it would unpack over itself");
  if (samePath(target, archivePath))
    throw UnpackError("The package " + packagePath + " would unpack over the archive " + archivePath);

  ::unlink(target.c_str());  // the old target goes first, whatever happens next

  Fd package;
  package.fd = ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (package.fd < 0 || ::fstat(package.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw UnpackError("Cannot open file " + packagePath);

  std::vector<uint8_t> in(1 << 16), out(1 << 16);
  auto readSome = [&](uint8_t* into, size_t n) -> size_t {
    for (;;) {
      ssize_t r = ::read(package.fd, into, n);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) throw UnpackError("Stream read error");
      return static_cast<size_t>(r);
    }
  };
  uint8_t head[4];
  size_t got = 0;
  while (got < 4) {
    size_t r = readSome(head + got, 4 - got);
    if (r == 0) throw UnpackError("Stream read error");
    got += r;
  }
  const int32_t n = static_cast<int32_t>(static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                                         static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24);
  if (n < 0) throw UnpackError("Stream write error");

  TempFile temp;
  temp.path = target + ".unpacking-" + std::to_string(::getpid());
  temp.file.fd = ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (temp.file.fd < 0) {
    temp.path.clear();
    throw UnpackError("Cannot create file " + target);
  }

  size_t left = static_cast<size_t>(n);
  if (left > 0) {
    Inflater inflater;
    int rc = inflateInit(&inflater.z);
    if (rc == Z_MEM_ERROR) throw UnpackError("Out of memory while expanding memory stream");
    if (rc != Z_OK) throw UnpackError("error");
    inflater.started = true;
    bool inputDone = false;
    while (left > 0) {
      if (inflater.z.avail_in == 0 && !inputDone) {
        size_t r = readSome(in.data(), in.size());
        if (r == 0) inputDone = true;
        inflater.z.next_in = in.data();
        inflater.z.avail_in = static_cast<uInt>(r);
      }
      size_t room = std::min(out.size(), left);
      inflater.z.next_out = out.data();
      inflater.z.avail_out = static_cast<uInt>(room);
      rc = inflate(&inflater.z, Z_NO_FLUSH);
      size_t produced = room - inflater.z.avail_out;
      if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_STREAM_ERROR) throw UnpackError("error");
      if (rc == Z_MEM_ERROR) throw UnpackError("Out of memory while expanding memory stream");
      writeAll(temp.file.fd, out.data(), produced);
      left -= produced;
      if (left == 0) break;
      // The stream ended, or the file did with nothing more to give.
      if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && inputDone && produced == 0) ||
          (inputDone && inflater.z.avail_in == 0 && produced == 0))
        throw UnpackError("Stream read error");
    }
  }
  if (::fsync(temp.file.fd) != 0) throw UnpackError("Stream write error");
  if (::close(temp.file.fd) != 0) {
    temp.file.fd = -1;
    throw UnpackError("Stream write error");
  }
  temp.file.fd = -1;
  if (::rename(temp.path.c_str(), target.c_str()) != 0) throw UnpackError("Cannot create file " + target);
  temp.keep = true;
}

}  // namespace import
