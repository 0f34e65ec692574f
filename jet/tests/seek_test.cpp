// Seeks through an index: equality, a list of values, a range, on the
// small archive's FORUM_REPLY.TOPIC_ID index, without scanning the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jet/database.h"
#include "jet/index_key.h"
#include "jet/index_page.h"
#include "test_support.h"

namespace jet {
namespace {

struct Fixture {
  Database db{test::smallArchive().string()};
  const Table& replies = db.table("FORUM_REPLY");
  const Column& topic = *replies.def().columnByName("TOPIC_ID");
  const Column& replyId = *replies.def().columnByName("REPLY_ID");

  const RealIndex& indexOn(const Column& c) const {
    for (const RealIndex& ix : replies.def().realIndexes)
      if (ix.columns.size() == 1 && ix.columns[0].columnNumber == c.number) return ix;
    throw std::runtime_error("no index");
  }
  std::string part(const Column& c, int64_t v) const {
    std::string k;
    appendKeyPart(k, c, true, Value{v});
    return k;
  }
  std::vector<int64_t> replyIds(const std::vector<RowPointer>& rows) const {
    std::vector<int64_t> out;
    RowCursor cur = replies.scan();
    for (RowPointer r : rows) {
      EXPECT_TRUE(cur.moveTo(r));
      out.push_back(std::get<int64_t>(cur.value(replyId)));
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST(Seek, EqualityFindsExactlyTheRowsOfOneTopicReadingFewPages) {
  Fixture f;
  IndexReader reader(f.db.pager(), f.replies.def(), f.indexOn(f.topic));
  std::vector<RowPointer> rows = reader.seekPrefix(f.part(f.topic, 1013));
  EXPECT_EQ(f.replyIds(rows), (std::vector<int64_t>{5044, 5045, 5046}));
  EXPECT_LE(reader.pagesRead(), 3u);  // the tree's depth, not the table's size
  EXPECT_TRUE(reader.seekPrefix(f.part(f.topic, 999999)).empty());
}

TEST(Seek, AListOfValuesIsOneSeekPerValue) {
  Fixture f;
  IndexReader reader(f.db.pager(), f.replies.def(), f.indexOn(f.topic));
  std::vector<RowPointer> rows;
  for (int64_t t : {1013, 1003, 1011}) {
    std::vector<RowPointer> r = reader.seekPrefix(f.part(f.topic, t));
    rows.insert(rows.end(), r.begin(), r.end());
  }
  std::vector<int64_t> ids = f.replyIds(rows);
  // 1003 has no replies; 1011 has 5038 (author without member row) among others.
  EXPECT_TRUE(std::binary_search(ids.begin(), ids.end(), 5038));
  EXPECT_TRUE(std::binary_search(ids.begin(), ids.end(), 5045));
}

TEST(Seek, RangeOnThePrimaryKeyMatchesAScan) {
  Fixture f;
  IndexReader reader(f.db.pager(), f.replies.def(), f.indexOn(f.replyId));
  std::vector<int64_t> ids = f.replyIds(reader.seekRange(f.part(f.replyId, 5010), f.part(f.replyId, 5019)));
  std::vector<int64_t> expected;
  for (int64_t i = 5010; i <= 5019; ++i) expected.push_back(i);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(f.replyIds(reader.seekRange(f.part(f.replyId, 5149), std::string())),
            (std::vector<int64_t>{5149, 5150}));
}

TEST(Seek, DescendingIndexOfAnAccessFileReturnsKeysInDescendingOrder) {
  Database db((test::sharedDir() / "jet4/samples/compIndexTestV2000.mdb").string());
  const Table& t = db.table("Table1");
  const RealIndex& ix = t.def().realIndexes.at(0);
  ASSERT_FALSE(ix.columns[0].ascending);
  const Column& col = *t.def().columnByNumber(ix.columns[0].columnNumber);
  IndexReader reader(db.pager(), t.def(), ix);
  std::vector<int64_t> seen;
  RowCursor cur = t.scan();
  size_t nulls = 0;
  reader.scanAll([&](const IndexEntryRef& e) {
    EXPECT_TRUE(cur.moveTo(e.row));
    Value v = cur.value(col);
    if (isNull(v)) ++nulls;
    else seen.push_back(std::get<int64_t>(v));
    return true;
  });
  EXPECT_EQ(seen.size() + nulls, 512u);
  EXPECT_EQ(nulls, 2u);
  EXPECT_TRUE(std::is_sorted(seen.rbegin(), seen.rend()));
  // Equality through a two-level tree with a tail page.
  std::string key;
  appendKeyPart(key, col, false, Value{seen[100]});
  EXPECT_FALSE(reader.seekPrefix(key).empty());
}

// Seeks find their place on a page by halving over prefix-compressed
// entries: on every index of the Access-made samples, seeking a key met on
// the walk (and the same key cut short, and one just past it) gives exactly
// the walk's entries that start with it.
TEST(Seek, EveryKeyOfEverySampleIndexIsFoundByHalving) {
  size_t indexes = 0, seeks = 0;
  for (const auto& file : std::filesystem::directory_iterator(test::sharedDir() / "jet4/samples")) {
    if (file.path().extension() != ".mdb") continue;
    Database db(file.path().string());
    for (const CatalogEntry& e : db.catalog().entries) {
      if (e.kind != CatalogEntry::Kind::Table) continue;
      const Table& t = db.table(e);
      for (const RealIndex& ix : t.def().realIndexes) {
        IndexReader reader(db.pager(), t.def(), ix);
        std::vector<std::pair<std::string, RowPointer>> walk;
        reader.scanAll([&](const IndexEntryRef& entry) {
          walk.emplace_back(std::string(entry.key), entry.row);
          return true;
        });
        ++indexes;
        auto expected = [&](const std::string& prefix) {
          std::vector<RowPointer> rows;
          for (const auto& [key, row] : walk)
            if (key.compare(0, prefix.size(), prefix) == 0) rows.push_back(row);
          return rows;
        };
        size_t step = std::max<size_t>(1, walk.size() / 40);
        for (size_t i = 0; i < walk.size(); i += step) {
          const std::string& key = walk[i].first;
          std::vector<std::string> probes{key, key + '\xFF'};
          for (size_t cut : {key.size() - 1, key.size() / 2, size_t{1}})
            if (cut > 0 && cut < key.size()) probes.push_back(key.substr(0, cut));
          for (const std::string& probe : probes) {
            ASSERT_EQ(reader.seekPrefix(probe), expected(probe)) << file.path() << " " << e.name << " entry " << i;
            ++seeks;
          }
        }
      }
    }
  }
  EXPECT_GT(indexes, 20u);
  EXPECT_GT(seeks, 1000u);
}

}  // namespace
}  // namespace jet
