// Unpacking: every failure with its message, the target name rule, and the
// targets it refuses; packages made here with zlib in every form.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "import/unpack.h"
#include "jet/tests/test_support.h"

namespace import {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes deflated(const Bytes& data, int windowBits, const Bytes& dictionary = {}) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!dictionary.empty()) deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size()));
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes package(int32_t n, const Bytes& stream) {
  Bytes p;
  p.reserve(4 + stream.size());
  for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(static_cast<uint32_t>(n) >> (8 * i)));
  for (uint8_t b : stream) p.push_back(b);
  return p;
}

Bytes content() {
  Bytes b(100000);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  return b;
}

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Unpack, EveryCaseByTable) {
  const Bytes data = content();
  const Bytes zlib = deflated(data, 15);
  Bytes damaged = zlib;
  damaged[0] ^= 0x01;  // header check fails
  Bytes withTail = zlib;
  withTail.insert(withTail.end(), {1, 2, 3, 4, 5});
  Bytes dictionary(32, 'd');
  struct Case {
    const char* name;
    Bytes file;
    const char* error;  // nullptr: succeeds
    size_t size;        // bytes of the target on success
  } cases[] = {
      {"N = 0 with garbage after it", package(0, {9, 9, 9}), nullptr, 0},
      {"N = 0 and nothing after it", package(0, {}), nullptr, 0},
      {"a 4-byte file with N > 0", package(10, {}), "Stream read error", 0},
      {"0 bytes", {}, "Stream read error", 0},
      {"3 bytes", {1, 0, 0}, "Stream read error", 0},
      {"N = -1", package(-1, zlib), "Stream write error", 0},
      {"N smaller than the stream", package(1000, zlib), nullptr, 1000},
      {"N exactly the stream", package(static_cast<int32_t>(data.size()), zlib), nullptr, data.size()},
      {"N larger than the stream", package(static_cast<int32_t>(data.size() + 1), zlib), "Stream read error", 0},
      {"N larger, bytes after the stream", package(static_cast<int32_t>(data.size() + 1), withTail), "Stream read error", 0},
      {"a damaged header", package(1000, damaged), "error", 0},
      {"gzip", package(1000, deflated(data, 31)), "error", 0},
      {"raw deflate", package(1000, deflated(data, -15)), "error", 0},
      {"a preset dictionary", package(1000, deflated(data, 15, dictionary)), "error", 0},
  };
  jet::test::ScratchDir dir;
  for (const Case& c : cases) {
    fs::path pkg = dir.path() / "p.opk", target = dir.path() / "p.mdb";
    jet::test::writeFile(pkg, c.file);
    jet::test::writeFile(target, {42});  // an old target goes in every case
    if (c.error) {
      try {
        unpackPackage(pkg.string(), (dir.path() / "ostrel.mdb").string());
        ADD_FAILURE() << c.name << ": no error";
      } catch (const UnpackError& e) {
        EXPECT_STREQ(e.what(), c.error) << c.name;
      }
      EXPECT_FALSE(fs::exists(target)) << c.name;
    } else {
      unpackPackage(pkg.string(), (dir.path() / "ostrel.mdb").string());
      ASSERT_TRUE(fs::exists(target)) << c.name;
      std::string got = readAll(target);
      EXPECT_EQ(got.size(), c.size) << c.name;
      EXPECT_TRUE(Bytes(got.begin(), got.end()) == Bytes(data.begin(), data.begin() + static_cast<long>(got.size()))) << c.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), fs::exists(target) ? 2 : 1)
        << c.name << ": a temporary file was left";
  }
}

TEST(Unpack, TheFixturePackagesGiveTheirDatabasesByteForByte) {
  jet::test::ScratchDir dir;
  fs::path packages = fs::path(OSTREL_TEST_DATA) / "fixtures/packages";
  for (const char* name : {"update", "no-forum", "mismatch", "mismatch-extra"}) {
    fs::path copy = dir.copy(packages / (std::string(name) + ".opk"));
    unpackPackage(copy.string(), (dir.path() / "ostrel.mdb").string());
    EXPECT_EQ(readAll(dir.path() / (std::string(name) + ".mdb")), readAll(packages / "src" / (std::string(name) + ".mdb"))) << name;
  }
  fs::path upper = dir.copy(packages / "UPPER.OPK");
  unpackPackage(upper.string(), (dir.path() / "ostrel.mdb").string());
  EXPECT_TRUE(fs::exists(dir.path() / "UPPER.mdb"));
}

TEST(Unpack, TargetNamesAndRefusedTargets) {
  EXPECT_EQ(targetPathFor("/forum/0412.opk"), "/forum/0412.mdb");
  EXPECT_EQ(targetPathFor("/forum/0412.OPK"), "/forum/0412.mdb");
  EXPECT_EQ(targetPathFor("/forum.opk/0412.Opk"), "/forum.mdb/0412.mdb");
  EXPECT_EQ(targetPathFor("/forum/0412.zip"), "/forum/0412.zip");

  jet::test::ScratchDir dir;
  const Bytes pkg = package(3, deflated({1, 2, 3}, 15));
  std::string archivePath = (dir.path() / "ostrel.mdb").string();
  // ".opk" in a folder name: the target lies in the ".mdb" folder.
  fs::create_directories(dir.path() / "in.opk");
  jet::test::writeFile(dir.path() / "in.opk" / "a.opk", pkg);
  try {
    unpackPackage((dir.path() / "in.opk" / "a.opk").string(), archivePath);
    ADD_FAILURE() << "no error without the folder";
  } catch (const UnpackError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + (dir.path() / "in.mdb" / "a.mdb").string());
  }
  fs::create_directories(dir.path() / "in.mdb");
  unpackPackage((dir.path() / "in.opk" / "a.opk").string(), archivePath);
  EXPECT_EQ(fs::file_size(dir.path() / "in.mdb" / "a.mdb"), 3u);

  // A path without ".opk" and the archive's own name: refused, nothing touched.
  jet::test::writeFile(dir.path() / "plain.pkg", pkg);
  EXPECT_THROW(unpackPackage((dir.path() / "plain.pkg").string(), archivePath), UnpackError);
  EXPECT_EQ(fs::file_size(dir.path() / "plain.pkg"), pkg.size());
  jet::test::writeFile(dir.path() / "ostrel.opk", pkg);
  jet::test::writeFile(archivePath, {7, 7});
  EXPECT_THROW(unpackPackage((dir.path() / "ostrel.opk").string(), archivePath), UnpackError);
  EXPECT_EQ(fs::file_size(archivePath), 2u);

  // A missing package while a target exists: the message, and no target left.
  jet::test::writeFile(dir.path() / "gone.mdb", {1});
  try {
    unpackPackage((dir.path() / "gone.opk").string(), archivePath);
    ADD_FAILURE() << "no error";
  } catch (const UnpackError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir.path() / "gone.opk").string());
  }
  EXPECT_FALSE(fs::exists(dir.path() / "gone.mdb"));
}

}  // namespace
}  // namespace import
