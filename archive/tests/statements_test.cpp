// The reader's statements on the small archive: the rows each returns and
// their order.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/archive_location.h"
#include "archive/connection.h"
#include "archive/query.h"
#include "archive/statements.h"
#include "jet/tests/test_support.h"

namespace archive {
namespace {

std::vector<std::string> run(const std::string& statement, const std::string& field) {
  Connection c;
  c.SetConnectionString(connectionText(jet::test::smallArchive().string()));
  c.Open();
  Query q(&c);
  q.SQL().Add(statement);
  q.Open();
  std::vector<std::string> out;
  for (q.First(); !q.Eof(); q.Next()) out.push_back(q.FieldByName(field).AsString());
  return out;
}

TEST(Statements, AreTheReadersTexts) {
  EXPECT_STREQ(kCategoryStatement, "select * from forum_category where cat_pid=0 order by cat_order");
  EXPECT_STREQ(kForumListStatement, "select * from forum_forum order by cat_id,forum_id");
  EXPECT_EQ(std::string(kStoredTopicStatement),
            "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT,T_MESSAGE,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE,"
            "T_LAST_POST_AUTHOR,M_Name,T_GOOD  from FORUM_TOPICS,FORUM_MEMBERS where FORUM_ID=914 and "
            "FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID order by TOPIC_ID");
  EXPECT_EQ(forumStatement("914"),
            "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT,        T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,"
            "T_LAST_POST,T_DATE,        T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where         "
            "FORUM_ID=914 and FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID         order by TOPIC_ID desc");
  EXPECT_EQ(repliesStatement("1013"),
            "Select TOPIC_ID,R_AUTHOR,M_NAME,R_DATE,R_Message         from FORUM_REPLY,FORUM_MEMBERS Where "
            "TOPIC_ID=1013 And MEMBER_ID=R_AUTHOR order by REPLY_ID");
}

TEST(Statements, SearchLinesAsSpelledWithQuotesDoubled) {
  const std::string twelve(12, ' '), thirteen(13, ' ');
  std::vector<std::string> lines = searchStatementLines("it's", "Category", "7", "914");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT," + twelve +
                          "T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE," + twelve +
                          "T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where ");
  EXPECT_EQ(lines[1], " (FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID) And (");
  EXPECT_EQ(lines[2], " T_SUBJECT LIKE '%it''s%' OR" + thirteen + "T_MESSAGE LIKE '%it''s%' OR ");
  EXPECT_EQ(lines[3], " TOPIC_ID IN (SELECT TOPIC_ID FROM FORUM_REPLY" + thirteen + "WHERE R_MESSAGE LIKE '%it''s%')) ");
  EXPECT_EQ(lines[4], " And (CAT_ID = 7) ");
  EXPECT_EQ(lines[5], "order by TOPIC_ID desc");
  EXPECT_EQ(searchStatementLines("x", "Forum", "7", "914")[4], " And (FORUM_ID = 914) ");
  for (const char* scope : {"", "forum", "Category "}) EXPECT_EQ(searchStatementLines("%_", scope, "7", "914").size(), 5u);
  EXPECT_NE(searchStatementLines("%_", "", "", "")[2].find("'%%_%'"), std::string::npos);  // wildcards kept
}

TEST(Statements, ListTheRowsInTheirOrder) {
  EXPECT_EQ(run(kCategoryStatement, "CAT_ID"), (std::vector<std::string>{"2", "1", "5", "3"}));
  EXPECT_EQ(run(kForumListStatement, "FORUM_ID"),
            (std::vector<std::string>{"901", "902", "903", "905", "914", "910", "911", "912", "920", "930", "931", "940"}));
  // Forum 914 newest first, without 1012 (its author has no member row).
  EXPECT_EQ(run(forumStatement("914"), "TOPIC_ID"), (std::vector<std::string>{"1015", "1014", "1013", "1011"}));
  EXPECT_EQ(run(kStoredTopicStatement, "TOPIC_ID"), (std::vector<std::string>{"1011", "1013", "1014", "1015"}));
  EXPECT_TRUE(run(forumStatement("912"), "TOPIC_ID").empty());
}

TEST(Statements, RepliesOfATopicWithTheirAuthors) {
  // In posting order: the replies are known by their dates.
  EXPECT_EQ(run(repliesStatement("1013"), "R_DATE"),
            run("select R_DATE from FORUM_REPLY where REPLY_ID in (5044, 5045, 5046) order by REPLY_ID", "R_DATE"));
  EXPECT_EQ(run(repliesStatement("1013"), "M_NAME").size(), 3u);
  // Reply 5038 (author 98 has no member row) is missing from topic 1011's replies.
  std::vector<std::string> authors = run(repliesStatement("1011"), "R_AUTHOR");
  EXPECT_EQ(std::count(authors.begin(), authors.end(), "98"), 0);
  EXPECT_EQ(authors.size() + 1, run("select REPLY_ID from FORUM_REPLY where TOPIC_ID=1011", "REPLY_ID").size());
}

}  // namespace
}  // namespace archive
