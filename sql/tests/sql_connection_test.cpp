// The SQL bridge on the small archive: values, Jet's LIKE and text
// comparison, index seeks shown by the rows the virtual tables read,
// linked tables, and errors.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/tests/test_support.h"
#include "jet/schema.h"
#include "sql/sql_connection.h"

namespace sql {
namespace {

namespace fs = std::filesystem;
using jet::test::smallArchive;

std::vector<std::string> column(const ResultSet& r, size_t i = 0) {
  std::vector<std::string> out;
  for (const auto& row : r.rows) out.push_back(row.at(i).asString());
  return out;
}

std::string errorOf(SqlConnection& c, const std::string& statement) {
  try {
    c.execute(statement);
  } catch (const SqlError& e) {
    return e.what();
  }
  return "";
}

TEST(SqlConnection, EveryTableIsAVirtualTableUnderItsNameInAnyCase) {
  SqlConnection c(smallArchive().string());
  for (const char* t : {"FORUM_CATEGORY", "forum_forum", "Forum_Topics", "FORUM_MEMBERS", "FORUM_REPLY"})
    EXPECT_EQ(c.execute(std::string("select count(*) from ") + t).rows.size(), 1u) << t;
  ResultSet r = c.execute("select count(*) from FORUM_REPLY");
  EXPECT_EQ(r.rows[0][0].integer, 150);
}

TEST(SqlConnection, ValuesHaveTheDocumentedTypesAndForms) {
  SqlConnection c((jet::test::sharedDir() / "jet4/samples/testV2000.mdb").string());
  ResultSet r = c.execute("select A, C, D, E, F, G, H, I from Table1 order by A desc");
  ASSERT_EQ(r.rows.size(), 2u);
  const auto& row = r.rows[0];
  EXPECT_EQ(row[0].asString(), "abcdefg");
  EXPECT_EQ(row[1].type, SqlValue::Type::Integer);
  EXPECT_EQ(row[3].integer, 333333333);
  EXPECT_EQ(row[4].type, SqlValue::Type::Real);
  EXPECT_DOUBLE_EQ(row[4].real, 444.555);
  EXPECT_EQ(row[5].asString(), "1974-09-21 00:00:00");
  EXPECT_DOUBLE_EQ(row[6].real, 3.5);
  EXPECT_EQ(row[7].integer, 1);
}

TEST(SqlConnection, TextComparesWithoutRegardToCase) {
  SqlConnection c(smallArchive().string());
  EXPECT_EQ(column(c.execute("select M_NAME from FORUM_MEMBERS where M_NAME = 'ADMIN'")), std::vector<std::string>{"admin"});
  EXPECT_EQ(column(c.execute("select 'МИР' = 'мир' collate JETTEXT")), std::vector<std::string>{"1"});
  ResultSet r = c.execute("select M_NAME from FORUM_MEMBERS where MEMBER_ID in (1, 20) order by M_NAME");
  EXPECT_EQ(column(r), (std::vector<std::string>{"admin", "Tom_2003"}));  // 'a' before 'T' ignoring case
}

TEST(SqlConnection, LikeFollowsJet) {
  SqlConnection c(smallArchive().string());
  struct Case {
    const char* where;
    std::vector<std::string> topics;
  } cases[] = {
      {"T_SUBJECT like '%hello world%'", {"1001"}},                          // Latin, case ignored
      {"T_SUBJECT like '%JDK 1._ or%'", {"1031"}},                           // _
      {"T_SUBJECT like '%한국어%'", {"1028"}},                                // Korean
      {"T_SUBJECT like '%\\%%' escape '\\'", {"1021"}},                     // escaped %
      {"T_MESSAGE like '%''%' and TOPIC_ID between 1020 and 1022", {"1021"}},  // a doubled quote
      {"T_SUBJECT like '[j]dk%'", {"1031"}},                                // a character list
  };
  for (const Case& k : cases)
    EXPECT_EQ(column(c.execute(std::string("select TOPIC_ID from FORUM_TOPICS where ") + k.where + " order by TOPIC_ID")),
              k.topics)
        << k.where;
  EXPECT_EQ(column(c.execute("select 'ΣΟΦΙΑ' like '%σοφια%', 'Straße' like 'STRASSE'")),
            std::vector<std::string>{"1"});
}

TEST(SqlConnection, LikeOnAMemoIsEvaluatedInsideTheScan) {
  SqlConnection c(smallArchive().string());
  ResultSet plan = c.execute("explain query plan select REPLY_ID from FORUM_REPLY where R_MESSAGE like '%分号%'");
  EXPECT_NE(plan.rows.at(0).back().asString().find(":L"), std::string::npos) << plan.rows[0].back().asString();
  ResultSet pushed = c.execute("select REPLY_ID from FORUM_REPLY where R_MESSAGE like '%分号%' order by REPLY_ID");
  // The same rows as LIKE evaluated by SQLite on every value.
  ResultSet plain = c.execute("select REPLY_ID from FORUM_REPLY where R_MESSAGE || '' like '%分号%' order by REPLY_ID");
  EXPECT_FALSE(pushed.rows.empty());
  EXPECT_EQ(column(pushed), column(plain));
}

TEST(SqlConnection, EqualityAndInSeekThroughTheIndex) {
  SqlConnection c(smallArchive().string());
  uint64_t before = c.rowsRead();
  ResultSet r = c.execute("select REPLY_ID from FORUM_REPLY where TOPIC_ID=1013 order by REPLY_ID");
  EXPECT_EQ(column(r), (std::vector<std::string>{"5044", "5045", "5046"}));
  EXPECT_EQ(c.rowsRead() - before, 3u);  // a scan would read all 150

  before = c.rowsRead();
  r = c.execute("select count(*) from FORUM_REPLY where TOPIC_ID in (1013, 1003, 1013)");
  EXPECT_EQ(r.rows[0][0].integer, 3);
  EXPECT_EQ(c.rowsRead() - before, 3u);

  before = c.rowsRead();
  r = c.execute("select count(*) from FORUM_REPLY, FORUM_MEMBERS where MEMBER_ID=R_AUTHOR and TOPIC_ID=1013");
  EXPECT_EQ(r.rows[0][0].integer, 3);
  EXPECT_EQ(c.rowsRead() - before, 6u);  // three replies, one member seek each

  // A value no Long can hold finds nothing rather than failing.
  EXPECT_EQ(c.execute("select count(*) from FORUM_REPLY where TOPIC_ID=99999999999").rows[0][0].integer, 0);
  EXPECT_EQ(c.execute("select count(*) from FORUM_REPLY where TOPIC_ID='1013'").rows[0][0].integer, 3);
}

TEST(SqlConnection, OrderByTheKeyIsServedByTheIndex) {
  SqlConnection c(smallArchive().string());
  ResultSet plan = c.execute("explain query plan select TOPIC_ID from FORUM_TOPICS order by TOPIC_ID desc");
  for (const auto& row : plan.rows) EXPECT_EQ(row.back().asString().find("TEMP B-TREE"), std::string::npos);
  std::vector<std::string> ids = column(c.execute("select TOPIC_ID from FORUM_TOPICS order by TOPIC_ID desc"));
  ASSERT_EQ(ids.size(), 40u);
  EXPECT_EQ(ids.front(), "1040");
  EXPECT_EQ(ids.back(), "1001");
}

TEST(SqlConnection, FailuresCarryTheEnginesMessage) {
  EXPECT_THROW(SqlConnection("/nonexistent/ostrel.mdb"), SqlError);
  try {
    SqlConnection("/nonexistent/ostrel.mdb");
  } catch (const SqlError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/ostrel.mdb: cannot open"), std::string::npos);
  }
  SqlConnection c(smallArchive().string());
  EXPECT_NE(errorOf(c, "select * from NO_SUCH_TABLE").find("no such table: NO_SUCH_TABLE"), std::string::npos);
  EXPECT_NE(errorOf(c, "select * form FORUM_REPLY").find("syntax error"), std::string::npos);
  EXPECT_NE(errorOf(c, "select NO_COLUMN from FORUM_REPLY").find("no such column: NO_COLUMN"), std::string::npos);
  EXPECT_NE(errorOf(c, "drop table FORUM_REPLY").find("cannot be dropped"), std::string::npos);
}

TEST(SqlConnection, AttachedLinksAreSeenByLaterConnectionsAndNeverWritten) {
  jet::test::ScratchDir dir;
  fs::path archive = dir.copy(smallArchive(), "archive.mdb");
  fs::path package = dir.copy(jet::test::sharedDir() / "fixtures/packages/src/update.mdb");
  std::vector<uint8_t> before = jet::test::readFile(archive);

  SqlConnection first(archive.string());
  first.attachLink("link", package.string(), "FORUM_FORUM");
  EXPECT_EQ(first.execute("select count(*) from link").rows[0][0].integer, 2);
  {
    // Through another spelling of the same file.
    SqlConnection second((dir.path() / "." / "archive.mdb").string());
    EXPECT_EQ(column(second.execute("select FORUM_ID from LINK order by FORUM_ID")),
              (std::vector<std::string>{"914", "950"}));
    EXPECT_NE(errorOf(second, "select 1").size(), 1u);
    second.execute("drop table link");
  }
  SqlConnection third(archive.string());
  EXPECT_NE(errorOf(third, "select * from link").find("no such table"), std::string::npos);
  EXPECT_EQ(jet::test::readFile(archive), before);
  // A link to a missing table fails and leaves nothing registered.
  EXPECT_THROW(third.attachLink("link", package.string(), "NO_SUCH_TABLE"), std::exception);
  SqlConnection fourth(archive.string());
  EXPECT_NE(errorOf(fourth, "select * from link").find("no such table"), std::string::npos);
}

}  // namespace
}  // namespace sql

namespace sql {
namespace {

struct Scratch {
  jet::test::ScratchDir dir;
  fs::path archive = dir.copy(smallArchive(), "archive.mdb");
  fs::path package = dir.copy(jet::test::sharedDir() / "fixtures/packages/src/update.mdb");
};

TEST(SqlWrites, InsertSelectAndDeleteThroughALinkLikeAMerge) {
  jet::test::SmallPageMemory memory;  // statements' savepoints copy pages into the scratch file
  Scratch s;
  {
    SqlConnection c(s.archive.string());
    c.attachLink("link", s.package.string(), "FORUM_REPLY");
    c.execute("BEGIN");
    ResultSet deleted = c.execute("delete from FORUM_REPLY where REPLY_ID in (select REPLY_ID from link)");
    EXPECT_EQ(deleted.changes, 1);  // 5044 is in both
    ResultSet inserted = c.execute("insert into FORUM_REPLY select * from link");
    EXPECT_EQ(inserted.changes, 4);
    c.execute("COMMIT");
    c.execute("drop table link");
  }
  SqlConnection c(s.archive.string());
  EXPECT_EQ(c.execute("select count(*) from FORUM_REPLY").rows[0][0].integer, 153);
  EXPECT_EQ(column(c.execute("select REPLY_ID from FORUM_REPLY where TOPIC_ID=1013 order by REPLY_ID")),
            (std::vector<std::string>{"5044", "5045", "5046", "5151"}));
  jet::test::expectSound(s.archive);
}

TEST(SqlWrites, RollbackAndAFailedStatementLeaveNoTrace) {
  jet::test::SmallPageMemory memory;
  Scratch s;
  std::vector<uint8_t> before = jet::test::readFile(s.archive);
  SqlConnection c(s.archive.string());
  c.execute("BEGIN");
  c.execute("delete from FORUM_TOPICS where FORUM_ID=914");
  EXPECT_EQ(c.execute("select count(*) from FORUM_TOPICS where FORUM_ID=914").rows[0][0].integer, 0);
  c.execute("ROLLBACK");
  EXPECT_EQ(c.execute("select count(*) from FORUM_TOPICS where FORUM_ID=914").rows[0][0].integer, 5);

  // Index changes undone by a rollback never reach the pages afterwards.
  c.execute("BEGIN");
  c.execute("delete from FORUM_REPLY where TOPIC_ID=1013");
  c.execute("ROLLBACK");
  EXPECT_EQ(c.execute("select count(*) from FORUM_REPLY where TOPIC_ID=1013").rows[0][0].integer, 3);
  c.execute("BEGIN");
  c.execute("SAVEPOINT s");
  c.execute("delete from FORUM_REPLY where TOPIC_ID=1011");
  c.execute("ROLLBACK TO s");
  EXPECT_EQ(c.execute("select count(*) from FORUM_REPLY where TOPIC_ID=1011").rows[0][0].integer, 5);
  c.execute("ROLLBACK");

  // Inside a transaction, a statement that fails half-way is undone alone.
  c.execute("BEGIN");
  c.execute("insert into FORUM_CATEGORY (CAT_ID, CAT_NAME) values (6, 'kept')");
  EXPECT_NE(errorOf(c, "insert into FORUM_CATEGORY (CAT_ID, CAT_NAME) select CAT_ID + 100, CAT_NAME from FORUM_CATEGORY "
                       "union all select 1, 'duplicate'")
                .find("already has a row with this key"),
            std::string::npos);
  EXPECT_EQ(column(c.execute("select CAT_ID from FORUM_CATEGORY where CAT_ID > 5 order by CAT_ID")),
            std::vector<std::string>{"6"});
  c.execute("ROLLBACK");
  EXPECT_NE(errorOf(c, "insert into FORUM_CATEGORY (CAT_ID, CAT_ORDER) values (9, 'x')").find("takes whole numbers"),
            std::string::npos);
  EXPECT_EQ(jet::test::readFile(s.archive), before);
}

}  // namespace
}  // namespace sql

namespace sql {
namespace {

// A link stored in the file (a catalog row of type 6), its database named
// as a Windows machine saw it: found by its file name beside the archive.
TEST(SqlConnection, LinkedTablesStoredInTheFileAreReadable) {
  jet::test::ScratchDir dir;
  fs::path archive = dir.path() / "archive.mdb";
  dir.copy(jet::test::sharedDir() / "fixtures/packages/src/update.mdb", "pack.mdb");
  jet::createDatabase(archive.string());
  {
    jet::Database db(archive.string());
    const jet::Table& objects = db.table(*db.catalog().find("MSysObjects"));
    jet::RowValues row(objects.def().columns.size());
    auto set = [&](const char* name, jet::Value v) {
      row[static_cast<size_t>(objects.def().columnByName(name) - objects.def().columns.data())] = std::move(v);
    };
    set("Id", int64_t{-2147483000});
    set("ParentId", int64_t{0x0F000001});
    set("Name", std::string("Linked"));
    set("Type", int64_t{6});
    set("Flags", int64_t{0});
    set("Database", std::string("C:\\Forum\\Data\\pack.mdb"));
    set("ForeignName", std::string("FORUM_FORUM"));
    db.insertRow(objects, row);
  }
  SqlConnection c(archive.string());
  EXPECT_EQ(column(c.execute("select FORUM_ID from linked order by FORUM_ID")), (std::vector<std::string>{"914", "950"}));
  EXPECT_NE(errorOf(c, "drop table Linked").find("stored in the database file"), std::string::npos);
  jet::test::expectSound(archive);
}

}  // namespace
}  // namespace sql
