#include "topic_page.h"

#include <cctype>

#include "archive/statements.h"
#include "gb18030.h"

namespace page {

namespace {

std::string lead(int spaces, std::string_view text) { return std::string(static_cast<size_t>(spaces), ' ') + std::string(text) + "\n"; }

// Fixed text, written here in UTF-8, goes into the page in GB18030.
std::string fixed(std::string_view utf8) { return toGb18030(utf8); }

std::string field(archive::Query& q, const char* name) { return toGb18030(q.FieldByName(name).AsString()); }

std::string headerUpToSubject() {
  std::string s;
  s += lead(0, "<html>");
  s += lead(8, "<head>");
  s += lead(8, "<title>内容</title>");
  s += lead(8, "<meta http-equiv=\"Content-Type\" content=\"text/html;charset=gb2312\">");
  s += lead(8, "<style type=\"text/css\">");
  s += lead(8, "<!--");
  s += lead(8, ".img{");
  s += lead(12, "font-size: 12px;");
  s += lead(12, "}");
  s += lead(8, ".img2{");
  s += lead(12, "font-size: 12px;");
  s += lead(12, "border:1px solid #8DABC6;");
  s += lead(12, "background-color: #FFFFFF;");
  s += lead(8, "}");
  s += lead(8, "-->");
  s += lead(8, "</style>");
  s += lead(8, "<meta name=\"Microsoft Theme\" content=\"ricepapr 1111\">");
  s += lead(8, "</head>");
  s += lead(8, "<body>");
  s += lead(8, "<table border=\"0\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\" align=\"center\">");
  s += lead(8, "<tr>");
  s += lead(8, "<td bgcolor=\"black\">");
  s += lead(8, "<table border=\"0\" width=\"100%\" cellspacing=\"1\" cellpadding=\"3\" class=\"img\">");
  s += lead(12, "<TR><TD bgcolor=\"slateblue\" width=10%><font color=mintcream>");
  s += lead(12, "<b>标题</b></font></TD>");
  s += lead(12, "<TD bgcolor=\"slateblue\" width=90%><font color=mintcream>");
  s += "            <b>";
  return fixed(s);
}

// Lines 27 (after the subject) to 35; `topicId` is already page bytes.
std::string headerAfterSubject(const std::string& topicId) {
  const std::string indent(12, ' ');
  const std::string link = std::string(kForumSiteBase) + "/link.asp?topic_id=";
  std::string rest;
  rest += lead(12, "</TD></TR>");
  rest += lead(12, "<TR><TD bgcolor=\"whitesmoke\" width=10%>");
  rest += lead(12, "<b>發表人</b></TD>");
  rest += lead(12, "<TD bgcolor=\"whitesmoke\" width=90%>");
  rest += lead(12, "<b>内容</b></TD></TR>");
  return fixed("</b></font><br>\n" + indent + "<a href=" + link) + topicId +
         fixed(">\n" + lead(12, "<font color=white>") + indent + link) + topicId + fixed("</font></a>\n" + rest);
}

bool matchesAt(const std::string& text, size_t at, std::string_view pattern) {
  if (text.size() - at < pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != pattern[i]) return false;
  return true;
}

std::string replaceAll(const std::string& text, std::string_view pattern, std::string_view with) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '#' && matchesAt(text, i, pattern)) {
      out += with;
      i += pattern.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

std::string displayDate(std::string_view stored) {
  auto piece = [&](size_t from, size_t length) { return from < stored.size() ? std::string(stored.substr(from, length)) : std::string(); };
  return piece(0, 4) + "." + piece(4, 2) + "." + piece(6, 2) + " " + piece(8, 2) + ":" + piece(10, 2) + ":" + piece(12, 2);
}

std::string escapeIncludes(std::string text) {
  text = replaceAll(text, "#include<", "#include&lt;");
  return replaceAll(text, "#include <", "#include&lt;");
}

std::string composeTopicPage(archive::Query& topics, archive::Query& replies, const ComposeFields& f) {
  std::string subject = field(topics, "T_Subject");
  f.topicId = field(topics, "Topic_ID");
  replies.Close();
  replies.SQL().Clear();
  replies.SQL().Add(archive::repliesStatement(f.topicId));
  replies.Open();
  f.topicAuthor = field(topics, "M_NAME");
  f.topicDate = field(topics, "T_DATE");

  std::string page = headerUpToSubject() + subject + headerAfterSubject(f.topicId);
  f.topicDate = displayDate(f.topicDate);
  std::string message = escapeIncludes(field(topics, "T_Message"));
  // The rows' fixed text is ASCII: the same bytes in GB18030.
  page += "<TR><TD bgcolor=\"whitesmoke\" align=left  valign=top>\n";
  page += f.topicAuthor + "<br><br>\n";
  page += f.topicDate + "</TD><TD bgcolor=\"whitesmoke\" ><PRE>\n";
  page += message + "\n";
  page += "</PRE>\n</TD>\n</TR>\n";

  for (replies.First(); !replies.Eof(); replies.Next()) {
    f.replyAuthor = field(replies, "M_NAME");
    f.replyDate = displayDate(field(replies, "R_DATE"));
    message = escapeIncludes(field(replies, "R_MESSAGE"));
    page += "<TR><TD bgcolor=\"whitesmoke\"  align=left  valign=top>\n";
    page += f.replyAuthor + "<br><br>\n";
    page += f.replyDate + "</TD><TD bgcolor=\"whitesmoke\"><PRE>\n";
    page += message + "\n";
    page += "</PRE></TD></TR>\n";
  }
  page += "\n</Table>\n</td>\n</tr>\n</table>\n</body>\n</html>";
  return page;
}

}  // namespace page
