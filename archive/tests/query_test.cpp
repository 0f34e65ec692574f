// The database interface: SQL lines, the static cursor, fields by name,
// what a query keeps when its connection closes, transactions, link
// creation, and errors.
#include <gtest/gtest.h>

#include "archive/archive_location.h"
#include "archive/connection.h"
#include "archive/engine_error.h"
#include "archive/query.h"
#include "jet/tests/test_support.h"

namespace archive {
namespace {

namespace fs = std::filesystem;

struct Open {
  Connection connection;
  Open(const fs::path& file = jet::test::smallArchive()) {
    connection.SetConnectionString(connectionText(file.string()));
    connection.SetLoginPrompt(false);
    connection.SetMode("Share Deny None");
    connection.Open();
  }
};

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

TEST(Query, LinesMakeTheStatementEachEndingInCrLf) {
  Query q;
  q.SQL().Add("select 1");
  q.SQL().Add(" as x");
  EXPECT_EQ(q.SQL().Text(), "select 1\r\n as x\r\n");
  q.SQL().SetText("a\r\nb\nc");
  EXPECT_EQ(q.SQL().lines(), (std::vector<std::string>{"a", "b", "c"}));
  q.SQL().Clear();
  EXPECT_EQ(q.SQL().Text(), "");
}

TEST(Query, OpenFetchesEveryRowAndWalksThem) {
  Open db;
  Query q(&db.connection);
  q.SQL().Add("select CAT_ID, CAT_NAME, cat_pid from FORUM_CATEGORY");
  q.SQL().Add("order by CAT_ID");
  q.Open();
  EXPECT_TRUE(q.Active());
  std::vector<std::string> ids;
  for (q.First(); !q.Eof(); q.Next()) ids.push_back(q.FieldByName("cat_id").AsString());
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  q.First();
  EXPECT_EQ(q.FieldByName("Cat_Name").AsString(), "技术讨论");

  // Open on an open query does nothing, even after the data changed meaning.
  q.Next();
  q.Open();
  EXPECT_EQ(q.FieldByName("CAT_ID").AsString(), "2");
  // Changing the lines closes it.
  q.SQL().Add("");
  EXPECT_FALSE(q.Active());
  EXPECT_TRUE(q.Eof());
}

TEST(Query, NullReadsAsEmptyTextAndNumbersAsDecimal) {
  Open db;
  Query q(&db.connection);
  q.SQL().Add("select F_LAST_POST, F_TOPICS, 1.5 as r from FORUM_FORUM where FORUM_ID=912");
  q.Open();
  EXPECT_EQ(q.FieldByName("F_LAST_POST").AsString(), "");
  EXPECT_TRUE(q.FieldByName("F_LAST_POST").IsNull());
  EXPECT_EQ(q.FieldByName("F_TOPICS").AsString(), "0");
  EXPECT_EQ(q.FieldByName("r").AsString(), "1.5");
  EXPECT_NE(messageOf([&] { q.FieldByName("NO_SUCH_FIELD"); }).find("field 'NO_SUCH_FIELD' not found"),
            std::string::npos);
}

TEST(Query, KeepsItsRowsWhenTheConnectionClosesOrReopensOrGoes) {
  auto db = std::make_unique<Open>();
  Query q(&db->connection);
  q.SQL().Add("select CAT_ID from FORUM_CATEGORY order by CAT_ID");
  q.Open();
  db->connection.Close();
  EXPECT_TRUE(q.Active());
  EXPECT_EQ(q.RecordCount(), 5);
  EXPECT_EQ(q.FieldByName("CAT_ID").AsString(), "1");
  // Running a statement on the closed connection fails cleanly.
  Query other(&db->connection);
  other.SQL().Add("select 1");
  EXPECT_NE(messageOf([&] { other.Open(); }).find("closed"), std::string::npos);
  db->connection.Open();
  q.Close();
  q.Open();
  EXPECT_EQ(q.RecordCount(), 5);
  db.reset();  // the connection goes; the query forgets it
  EXPECT_EQ(q.RecordCount(), 5);
  q.Close();
  EXPECT_NE(messageOf([&] { q.Open(); }).find("no connection"), std::string::npos);
}

TEST(Connection, FailuresRaiseTheEnginesMessage) {
  Connection c;
  c.SetConnectionString(connectionText("/nonexistent/ostrel.mdb"));
  EXPECT_NE(messageOf([&] { c.Open(); }).find("/nonexistent/ostrel.mdb: cannot open"), std::string::npos);
  EXPECT_FALSE(c.Connected());

  Open db;
  Query q(&db.connection);
  q.SQL().Add("select * from NO_SUCH_TABLE");
  EXPECT_NE(messageOf([&] { q.Open(); }).find("no such table: NO_SUCH_TABLE"), std::string::npos);
  q.SQL().SetText("select from");
  EXPECT_NE(messageOf([&] { q.Open(); }).find("syntax error"), std::string::npos);
}

TEST(Connection, TransactionsBeginCommitAndRollBack) {
  Open db;
  db.connection.BeginTrans();
  db.connection.RollbackTrans();
  db.connection.BeginTrans();
  db.connection.CommitTrans();
  EXPECT_NE(messageOf([&] { db.connection.CommitTrans(); }).find("no transaction is active"), std::string::npos);
}

TEST(CreateLink, ASecondHandleLinksAPackageTableThatTheReopenedConnectionSees) {
  jet::test::ScratchDir dir;
  fs::path archive = dir.copy(jet::test::smallArchive());
  fs::path package = dir.copy(jet::test::sharedDir() / "fixtures/packages/src/update.mdb");
  Open db(archive);
  CreateLink(connectionText(archive.string()), "link", package.string(), "FORUM_TOPICS");
  db.connection.Close();
  db.connection.Open();
  Query q(&db.connection);
  q.SQL().Add("select count(*) as n from link");
  q.Open();
  EXPECT_EQ(q.FieldByName("n").AsString(), "4");
  q.Close();
  q.SQL().SetText("drop table link");
  q.ExecSQL();
  q.SQL().SetText("select count(*) from link");
  EXPECT_NE(messageOf([&] { q.Open(); }).find("no such table: link"), std::string::npos);
}

}  // namespace
}  // namespace archive
