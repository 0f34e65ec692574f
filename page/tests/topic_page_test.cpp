// The topic page: the whole page of topic 1013 against a file written from
// the page layout (by an independent script, in GB18030 by Python's own
// codec), then the edge cases of dates, includes, markup, missing authors,
// characters outside GBK and empty messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/connection.h"
#include "archive/archive_location.h"
#include "page/gb18030.h"
#include "page/topic_page.h"

namespace page {
namespace {

const std::string kSmall = std::string(OSTREL_TEST_DATA) + "/fixtures/small/ostrel.mdb";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Composer {
  archive::Connection connection;
  archive::Query topics{&connection};
  archive::Query replies{&connection};
  std::string topicId, topicAuthor, topicDate, replyAuthor, replyDate;

  Composer() {
    connection.SetConnectionString(archive::connectionText(kSmall));
    connection.Open();
  }
  std::string pageOf(const std::string& id) {
    topics.Close();
    topics.SQL().Clear();
    topics.SQL().Add("select TOPIC_ID,T_SUBJECT,T_MESSAGE,T_DATE,M_Name from FORUM_TOPICS,FORUM_MEMBERS where "
                     "FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID and TOPIC_ID=" + id);
    topics.Open();
    return composeTopicPage(topics, replies, {topicId, topicAuthor, topicDate, replyAuthor, replyDate});
  }
};

bool contains(const std::string& page, const std::string& utf8) { return page.find(toGb18030(utf8)) != std::string::npos; }

TEST(TopicPage, TopicWithThreeRepliesIsThePageOfTheLayout) {
  Composer c;
  std::string page = c.pageOf("1013");
  std::string expected = readFile(std::string(OSTREL_PAGE_EXPECTED) + "/topic-1013.html");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(page, expected);
  // The fixed text up to the subject's "<b>" is 887 bytes, with the
  // headings in code page 936's bytes.
  EXPECT_EQ(page.find("<b>", page.find("\xB1\xEA\xCC\xE2") + 10) + 3, 887u);
  EXPECT_NE(page.find("<b>\xB0\x6C\xB1\xED\xC8\xCB</b>"), std::string::npos);
  EXPECT_NE(page.find("<title>\xC4\xDA\xC8\xDD</title>"), std::string::npos);
  EXPECT_EQ(c.topicId, "1013");
  EXPECT_EQ(c.replyDate, "2003.04.09 20:31:25");  // the last reply's, in posting order
  EXPECT_EQ(page.back(), '>');                     // no line feed after "</html>"
  EXPECT_EQ(c.pageOf("1013"), expected);           // the same click again, the same page
}

TEST(TopicPage, EdgeCases) {
  Composer c;
  // No replies: an empty line between the topic row and "</Table>".
  EXPECT_NE(c.pageOf("1003").find("</TR>\n\n</Table>"), std::string::npos);
  // Markup and "&" go in unchanged; "</PRE>" in a reply is not escaped.
  std::string markup = c.pageOf("1002");
  EXPECT_TRUE(contains(markup, "加粗要写成 <b>bold</b>，实体写成 &amp; and & 两种都见过。\r\n<PRE>代码块\r\n</PRE>"));
  EXPECT_TRUE(contains(markup, "回复里也有 </PRE> 标记，还有 <b>bold</b>。"));
  // A reply whose author has no member row is missing; the others stay.
  std::string missing = c.pageOf("1011");
  EXPECT_FALSE(contains(missing, "这个回复的作者已经被删除了。"));
  EXPECT_GT(missing.find("</PRE></TD></TR>"), 0u);
  // Korean and emoji kept, as GB18030 four-byte sequences.
  std::string korean = c.pageOf("1028");
  EXPECT_NE(korean.find("\x83\x36\x84\x33\x82\x37\xF4\x30\x83\x32\xEB\x35"), std::string::npos);
  EXPECT_NE(korean.find("\x94\x39\xFC\x36"), std::string::npos);
  // A null message gives an empty line inside <PRE>.
  EXPECT_NE(c.pageOf("1025").find("<PRE>\n\n</PRE>"), std::string::npos);
  // An empty date and an 8-digit date, cut by position.
  EXPECT_NE(c.pageOf("1026").find("\n.. ::</TD>"), std::string::npos);
  EXPECT_NE(c.pageOf("1027").find("\n2003.05.12 ::</TD>"), std::string::npos);
  // Includes: both forms in any case become the lower-case escape.
  std::string includes = c.pageOf("1001");
  EXPECT_NE(includes.find("#include&lt;stdio.h>"), std::string::npos);
  EXPECT_NE(includes.find("#include&lt;vector>"), std::string::npos);
  EXPECT_NE(includes.find("#include&lt;x>"), std::string::npos);
  EXPECT_NE(includes.find("#include  <stdlib.h>"), std::string::npos);
}

TEST(TopicPage, DatesAndIncludesByTable) {
  struct Date {
    const char* stored;
    const char* shown;
  } dates[] = {{"20030426204752", "2003.04.26 20:47:52"}, {"20030512", "2003.05.12 ::"}, {"", ".. ::"},
               {"2003042620475299", "2003.04.26 20:47:52"}, {"200", "200.. ::"}};
  for (const Date& d : dates) EXPECT_EQ(displayDate(d.stored), d.shown) << d.stored;
  struct Include {
    const char* text;
    const char* escaped;
  } includes[] = {{"#include <a.h>", "#include&lt;a.h>"},
                  {"#include<a.h>", "#include&lt;a.h>"},
                  {"#INCLUDE <x>", "#include&lt;x>"},
                  {"#Include<y> and #include <z>", "#include&lt;y> and #include&lt;z>"},
                  {"#include  <two.h>", "#include  <two.h>"},
                  {"#includes <no>", "#includes <no>"},
                  {"##include<", "##include&lt;"}};
  for (const Include& i : includes) EXPECT_EQ(escapeIncludes(i.text), i.escaped) << i.text;
}

TEST(TopicPage, AFailingRepliesQueryLeavesTheNewTopicId) {
  Composer c;
  c.pageOf("1003");
  c.pageOf("1013");  // the topic row stays when the connection goes
  c.topicId = "1003";
  c.connection.Close();
  EXPECT_ANY_THROW(composeTopicPage(c.topics, c.replies, {c.topicId, c.topicAuthor, c.topicDate, c.replyAuthor, c.replyDate}));
  EXPECT_EQ(c.topicId, "1013");
  EXPECT_FALSE(c.replies.Active());
}

}  // namespace
}  // namespace page
