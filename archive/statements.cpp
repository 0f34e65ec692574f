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

}  // namespace archive
