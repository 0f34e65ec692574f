#include "statements.h"

namespace archive {

const char* const kCategoryStatement = "select * from forum_category where cat_pid=0 order by cat_order";
const char* const kForumListStatement = "select * from forum_forum order by cat_id,forum_id";
const char* const kStoredTopicStatement =
    "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT,T_MESSAGE,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE,"
    "T_LAST_POST_AUTHOR,M_Name,T_GOOD"
    "  "
    "from FORUM_TOPICS,FORUM_MEMBERS where FORUM_ID=914 and FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID order by "
    "TOPIC_ID";
const char* const kStoredRepliesStatement = "select * from FORUM_REPLY;";

std::string forumStatement(const std::string& forumId) {
  return std::string("select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT,") + std::string(8, ' ') +
         "T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE," + std::string(8, ' ') +
         "T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where" + std::string(9, ' ') + "FORUM_ID=" +
         forumId + " and FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID" + std::string(9, ' ') +
         "order by TOPIC_ID desc";
}

std::string repliesStatement(const std::string& topicId) {
  return std::string("Select TOPIC_ID,R_AUTHOR,M_NAME,R_DATE,R_Message") + std::string(9, ' ') +
         "from FORUM_REPLY,FORUM_MEMBERS Where TOPIC_ID=" + topicId + " And MEMBER_ID=R_AUTHOR order by REPLY_ID";
}

std::vector<std::string> searchStatementLines(const std::string& text, const std::string& scope,
                                              const std::string& categoryId, const std::string& forumId) {
  std::string s;
  for (char ch : text) s += ch == '\'' ? std::string("''") : std::string(1, ch);
  const std::string twelve(12, ' '), thirteen(13, ' ');
  std::vector<std::string> lines{
      "select CAT_ID,FORUM_ID,TOPIC_ID,T_SUBJECT," + twelve +
          "T_MESSAGE,M_Name,T_AUTHOR,T_REPLIES,T_VIEW_COUNT,T_LAST_POST,T_DATE," + twelve +
          "T_LAST_POST_AUTHOR,T_GOOD from FORUM_TOPICS,FORUM_MEMBERS where ",
      " (FORUM_TOPICS.T_AUTHOR=FORUM_MEMBERS.MEMBER_ID) And (",
      " T_SUBJECT LIKE '%" + s + "%' OR" + thirteen + "T_MESSAGE LIKE '%" + s + "%' OR ",
      " TOPIC_ID IN (SELECT TOPIC_ID FROM FORUM_REPLY" + thirteen + "WHERE R_MESSAGE LIKE '%" + s + "%')) "};
  if (scope == "Category")
    lines.push_back(" And (CAT_ID = " + categoryId + ") ");
  else if (scope == "Forum")
    lines.push_back(" And (FORUM_ID = " + forumId + ") ");
  lines.push_back("order by TOPIC_ID desc");
  return lines;
}

}  // namespace archive
