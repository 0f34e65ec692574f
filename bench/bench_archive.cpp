#include "bench_archive.h"

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

std::string binDir() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

// Inflates the package once; later runs reuse the file.
static std::string inflateLargeArchive() {
  fs::path dir = fs::path(binDir()).parent_path() / "bench-data";
  fs::path target = dir / "forum-large.mdb";
  fs::path package = fs::path(OSTREL_SHARED_DIR) / "fixtures/bench/forum-large.opk";
  std::ifstream in(package, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + package.string());
  unsigned char head[4];
  in.read(reinterpret_cast<char*>(head), 4);
  uint64_t length = head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<uint64_t>(head[3]) << 24);
  if (fs::exists(target) && fs::file_size(target) == length) return target.string();

  fs::create_directories(dir);
  fs::path partial = dir / "forum-large.mdb.partial";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit failed");
  std::vector<unsigned char> ibuf(1 << 20), obuf(1 << 20);
  uint64_t written = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END && written < length) {
    if (z.avail_in == 0) {
      in.read(reinterpret_cast<char*>(ibuf.data()), static_cast<std::streamsize>(ibuf.size()));
      z.next_in = ibuf.data();
      z.avail_in = static_cast<uInt>(in.gcount());
      if (z.avail_in == 0) break;
    }
    z.next_out = obuf.data();
    z.avail_out = static_cast<uInt>(obuf.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) throw std::runtime_error("the bench package does not inflate");
    size_t got = obuf.size() - z.avail_out;
    out.write(reinterpret_cast<const char*>(obuf.data()), static_cast<std::streamsize>(got));
    written += got;
  }
  inflateEnd(&z);
  out.close();
  if (written != length) throw std::runtime_error("the bench package inflated to the wrong length");
  fs::rename(partial, target);
  return target.string();
}

const std::string& largeArchive() {
  static const std::string path = inflateLargeArchive();
  return path;
}

}  // namespace bench
