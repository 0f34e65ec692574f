// The consistency checker: clean on every sample and fixture (which also
// proves our key encoder against every index entry Access or the fixtures'
// writer stored), and finding each fault injected into a copy.
#include <gtest/gtest.h>

#include <functional>

#include "jet/bytes.h"
#include "jet/checker.h"
#include "jet/data_page.h"
#include "jet/database.h"
#include "jet/index_page.h"
#include "jet/long_value.h"
#include "jet/usage_map.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += x + "\n";
  return s;
}

TEST(Checker, EverySampleAndFixtureIsCleanAndEveryIndexKeyIsProven) {
  for (const fs::path& p : test::allDatabases()) {
    SCOPED_TRACE(p.string());
    Database db(p.string());
    CheckReport r = checkDatabase(db);
    EXPECT_TRUE(r.clean()) << joined(r.errors);
    // All of them use the General (legacy) order, so no index was skipped.
    for (const std::string& note : r.notes) EXPECT_EQ(note.find("sort order"), std::string::npos) << note;
  }
}

// File offset of a pointer into the mapped file.
size_t offsetOf(const Database& db, const uint8_t* p) { return static_cast<size_t>(p - db.pager().data()); }

RowCursor rowWhere(const Table& t, const std::string& column, int64_t value) {
  RowCursor c = t.scan();
  const Column* col = t.def().columnByName(column);
  while (c.next())
    if (std::get<int64_t>(c.value(*col)) == value) return c;
  throw std::runtime_error("row not found");
}

const RealIndex& primaryIndex(const TableDef& def) { return def.realIndexes[def.primaryKey()->realIndex]; }

struct Fault {
  const char* name;
  // Returns the file offsets and new bytes to write into the copy.
  std::function<std::vector<std::pair<size_t, std::vector<uint8_t>>>(const Database&)> locate;
  const char* expected;
};

const Fault kFaults[] = {
    {"a changed key value in a row",
     [](const Database& db) {
       const Table& t = db.table("FORUM_REPLY");
       RowCursor c = rowWhere(t, "REPLY_ID", 5045);
       ValueBytes b = c.row().bytes(*t.def().columnByName("TOPIC_ID"));
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{offsetOf(db, b.data), {0x14, 0x04, 0, 0}}};
     },
     "holds a key that differs from the row's values"},
    {"a missing index entry",
     [](const Database& db) {
       const TableDef& def = db.table("FORUM_CATEGORY").def();
       uint32_t root = primaryIndex(def).rootPage;
       IndexPage page = readIndexPage(db.pager(), root);
       // Clear the bit that ends the last entry: the entry is gone.
       size_t bit = page.usedEnd - kIndexEntriesStart;
       const uint8_t* p = db.pager().page(root);
       size_t byteAt = offsetOf(db, p) + kIndexBitmapStart + bit / 8;
       uint8_t cleared = static_cast<uint8_t>(p[kIndexBitmapStart + bit / 8] & ~(1u << (bit % 8)));
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{byteAt, {cleared}}};
     },
     "has no index entry"},
    {"a broken long-value chain",
     [](const Database& db) {
       const Table& t = db.table("FORUM_TOPICS");
       RowCursor c = rowWhere(t, "TOPIC_ID", 1023);
       ValueBytes b = c.row().bytes(*t.def().columnByName("T_MESSAGE"));
       // Point the value at the catalog's definition page.
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{offsetOf(db, b.data) + 4, {0, 2, 0, 0}}};
     },
     "is not a data page"},
    {"a wrong row count",
     [](const Database& db) {
       const TableDef& def = db.table("FORUM_MEMBERS").def();
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{
           {static_cast<size_t>(def.tdefPage) * kPageSize + 16, {31, 0, 0, 0}}};
     },
     "row count in the definition is 31 but 30 live rows were found"},
    {"a page of the wrong type",
     [](const Database& db) {
       uint32_t page = db.table("FORUM_REPLY").dataPages().front();
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{static_cast<size_t>(page) * kPageSize, {0x04}}};
     },
     "is not a data page"},
    {"a data page missing from its table's page map",
     [](const Database& db) {
       const Table& t = db.table("FORUM_REPLY");
       UsageMap owned = readUsageMap(db.pager(), t.def().ownedMap);
       uint32_t page = owned.pages.front();
       // The fixtures' writer keeps page maps as bitmap pages (reference maps).
       EXPECT_EQ(owned.kind, UsageMap::Kind::Reference);
       size_t at = static_cast<size_t>(owned.bitmapPages.at(0)) * kPageSize + 4 + page / 8;
       uint8_t cleared = static_cast<uint8_t>(db.pager().data()[at] & ~(1u << (page % 8)));
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{at, {cleared}}};
     },
     "holds its live rows but is not in its owned map"},
    {"an entry out of order",
     [](const Database& db) {
       const TableDef& def = db.table("FORUM_CATEGORY").def();
       uint32_t root = primaryIndex(def).rootPage;
       IndexPage page = readIndexPage(db.pager(), root);
       // The last byte of the first entry's key, made the largest possible.
       size_t at = static_cast<size_t>(root) * kPageSize + kIndexEntriesStart + page.entries[0].key.size() - 1;
       return std::vector<std::pair<size_t, std::vector<uint8_t>>>{{at, {0xFF}}};
     },
     "entries out of order"},
};

TEST(Checker, FindsEachInjectedFault) {
  for (const Fault& f : kFaults) {
    SCOPED_TRACE(f.name);
    test::ScratchDir dir;
    fs::path copy = dir.copy(test::smallArchive());
    std::vector<std::pair<size_t, std::vector<uint8_t>>> patches;
    {
      Database db(copy.string());
      patches = f.locate(db);
    }
    std::vector<uint8_t> bytes = test::readFile(copy);
    for (const auto& [offset, data] : patches) std::copy(data.begin(), data.end(), bytes.begin() + static_cast<long>(offset));
    test::writeFile(copy, bytes);
    Database db(copy.string());
    CheckReport r = checkDatabase(db);
    EXPECT_NE(joined(r.errors).find(f.expected), std::string::npos) << joined(r.errors);
  }
}

}  // namespace
}  // namespace jet
