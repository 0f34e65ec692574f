// The statements of the lists and the topic page, exactly as the reader
// sends them. Ids go in unchanged and unquoted.
#pragma once

#include <string>
#include <vector>

namespace archive {

// Top categories by display order.
extern const char* const kCategoryStatement;
// Every forum, by category then id.
extern const char* const kForumListStatement;
// The topic list's stored statement: forum 914, oldest first.
extern const char* const kStoredTopicStatement;
// The replies query's stored statement (replaced before it first runs).
extern const char* const kStoredRepliesStatement;

// One forum's topics with their authors' names, newest first.
std::string forumStatement(const std::string& forumId);
// The replies of one topic with their authors' names, in posting order
// (REPLY_ID ascending), so that a page reads the same on any engine.
std::string repliesStatement(const std::string& topicId);

// The search statement's lines: topics whose title, text or any reply's
// text contains `text` (LIKE wildcards keep their meaning), within the
// scope ("Category" or "Forum", compared exactly; anything else: all),
// newest first. Single quotes in `text` are doubled, so a quote searches
// for a quote and no typed text can change the statement.
std::vector<std::string> searchStatementLines(const std::string& text, const std::string& scope,
                                              const std::string& categoryId, const std::string& forumId);

}  // namespace archive
