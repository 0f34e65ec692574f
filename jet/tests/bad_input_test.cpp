// Damaged, truncated, foreign and hostile files raise jet::Error naming the
// file; they never crash, read outside the file or loop.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "jet/checker.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/header.h"
#include "jet/index_page.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

std::string openError(const fs::path& p) {
  try {
    Database db(p.string());
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

std::vector<uint8_t> sampleBytes() { return test::readFile(test::sharedDir() / "jet4/samples/delTestV2000.mdb"); }

void setMasked(std::vector<uint8_t>& b, size_t offset, uint8_t value) { b[offset] = value ^ headerMask()[offset - 0x18]; }

TEST(BadInput, ForeignOrBrokenFilesAreRefusedWithAClearMessage) {
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* message;
  } cases[] = {
      {"empty file", [](auto& b) { b.clear(); }, "too short to be a Jet database"},
      {"one short page", [](auto& b) { b.resize(1000); }, "too short to be a Jet database"},
      {"a Jet 3 file", [](auto& b) { b[0x14] = 0; }, "Jet 3 (Access 97)"},
      {"an ACE file", [](auto& b) { b[0x14] = 3; }, "ACE (Access 2007 or later) database, format version 3"},
      {"an MSISAM file", [](auto& b) { std::copy_n("MSISAM Database", 15, b.begin() + 4); }, "MSISAM"},
      {"not a database", [](auto& b) { std::fill(b.begin(), b.begin() + 64, 'x'); }, "not a Jet database"},
      {"an encrypted file", [](auto& b) { setMasked(b, 0x3E, 0x5A); }, "is encrypted"},
      {"a cut last page", [](auto& b) { b.resize(b.size() - 100); }, "not a whole number of 4096-byte pages"},
      {"a catalog page overwritten", [](auto& b) { b[2 * 4096] = 0x01; }, "page 2: is not a table definition page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir;
    std::vector<uint8_t> bytes = sampleBytes();
    c.damage(bytes);
    fs::path p = dir.path() / "damaged.mdb";
    test::writeFile(p, bytes);
    std::string message = openError(p);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_NE(message.find(p.string()), std::string::npos) << message;
  }
  EXPECT_NE(openError("/nonexistent/ostrel.mdb").find("/nonexistent/ostrel.mdb: cannot open"), std::string::npos);
}

TEST(BadInput, AFileCutAtAPageBoundaryFailsWhereAPageIsMissing) {
  test::ScratchDir dir;
  std::vector<uint8_t> bytes = test::readFile(test::smallArchive());
  bytes.resize(bytes.size() / 2 / 4096 * 4096);
  fs::path p = dir.path() / "cut.mdb";
  test::writeFile(p, bytes);
  try {
    Database db(p.string());
    for (const std::string& name : db.userTableNames()) {
      RowCursor c = db.table(name).scan();
      while (c.next()) {
      }
    }
    FAIL() << "reading a cut file succeeded";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("beyond the end of the file"), std::string::npos) << e.what();
  }
}

// Reads everything the engine can read; any failure must be a jet::Error.
void readEverything(const fs::path& p) {
  Database db(p.string());
  for (const CatalogEntry& e : db.catalog().entries) {
    if (e.kind != CatalogEntry::Kind::Table) continue;
    try {
      const Table& t = db.table(e);
      RowCursor c = t.scan();
      while (c.next())
        for (const Column& col : t.def().columns) (void)c.value(col);
      for (const RealIndex& ix : t.def().realIndexes) {
        IndexReader r(db.pager(), t.def(), ix);
        r.scanAll([](const IndexEntryRef&) { return true; });
      }
    } catch (const Error&) {
    }
  }
  (void)checkDatabase(db);
}

TEST(BadInput, RandomDamageNeverCrashes) {
  std::mt19937 rng(20261211);
  int refused = 0, read = 0;
  for (const fs::path& source : test::allDatabases()) {
    std::vector<uint8_t> original = test::readFile(source);
    if (original.size() > 400000) continue;
    for (int round = 0; round < 12; ++round) {
      std::vector<uint8_t> bytes = original;
      int flips = 1 + static_cast<int>(rng() % 64);
      for (int i = 0; i < flips; ++i) {
        size_t at = 4096 + rng() % (bytes.size() - 4096);
        bytes[at] = static_cast<uint8_t>(rng());
      }
      test::ScratchDir dir;
      fs::path p = dir.path() / "fuzzed.mdb";
      test::writeFile(p, bytes);
      try {
        readEverything(p);
        ++read;
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
        ++refused;
      }
    }
  }
  EXPECT_GT(read + refused, 100);
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// The cursor decodes lazily: a scan that reads only TOPIC_ID never touches
// the long values of T_MESSAGE, so a broken one does not stop it.
TEST(BadInput, ADamagedMemoOnlyFailsWhenItIsRead) {
  test::ScratchDir dir;
  fs::path copy = dir.copy(test::smallArchive());
  size_t at = 0;
  {
    Database db(copy.string());
    const Table& t = db.table("FORUM_TOPICS");
    RowCursor c = t.scan();
    const Column& id = *t.def().columnByName("TOPIC_ID");
    while (c.next() && std::get<int64_t>(c.value(id)) != 1023) {
    }
    ValueBytes b = c.row().bytes(*t.def().columnByName("T_MESSAGE"));
    at = static_cast<size_t>(b.data - db.pager().data()) + 4;
  }
  std::vector<uint8_t> bytes = test::readFile(copy);
  bytes[at + 1] = 2;  // the long value now points at the catalog's definition page
  bytes[at + 2] = 0;
  test::writeFile(copy, bytes);

  Database db(copy.string());
  const Table& t = db.table("FORUM_TOPICS");
  int rows = 0;
  RowCursor ids = t.scan();
  while (ids.next()) {
    (void)ids.value(*t.def().columnByName("TOPIC_ID"));
    ++rows;
  }
  EXPECT_EQ(rows, 40);
  RowCursor messages = t.scan();
  EXPECT_THROW(
      {
        while (messages.next()) (void)messages.value(*t.def().columnByName("T_MESSAGE"));
      },
      Error);
}

}  // namespace
}  // namespace jet
