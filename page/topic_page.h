// The topic page: one topic and its replies as an HTML page in GB18030
// bytes, composed from fixed fragments and the values read by name from
// the topic query's current row and from the replies query. Values go in
// byte for byte (their markup takes effect); only "#include<" and
// "#include <" (letter case ignored) become "#include&lt;".
#pragma once

#include <string>
#include <string_view>

#include "archive/query.h"

namespace page {

// The forum site: scheme and host, no trailing slash. Starts the topic's
// link on every page and the download page's address.
inline constexpr const char* kForumSiteBase = "http://bbs.ostrel.example";

// The window's texts that a composition writes, in page bytes: the topic's
// id, author and date display form, and the last reply's author and date.
struct ComposeFields {
  std::string& topicId;
  std::string& topicAuthor;
  std::string& topicDate;
  std::string& replyAuthor;
  std::string& replyDate;
};

// Composes the page of the current row of `topics`, running the replies
// statement on `replies` (left open). Raises what the engine raises.
std::string composeTopicPage(archive::Query& topics, archive::Query& replies, const ComposeFields& fields);

// YYYYMMDDHHMMSS as YYYY.MM.DD HH:MM:SS, cut by byte position with no
// checks: missing pieces are empty, the separators always there.
std::string displayDate(std::string_view stored);

// "#include<" then "#include <" (any letter case) become "#include&lt;".
std::string escapeIncludes(std::string text);

}  // namespace page
