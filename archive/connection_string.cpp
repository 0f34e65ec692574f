#include "connection_string.h"

#include "jet/text_codec.h"

namespace archive {

namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace

ConnectionSettings parseConnectionString(const std::string& text) {
  ConnectionSettings out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    if (eq == std::string::npos) break;
    std::string name = trim(text.substr(i, eq - i));
    size_t j = eq + 1;
    while (j < text.size() && text[j] == ' ') ++j;
    std::string value;
    if (j < text.size() && text[j] == '"') {
      size_t close = text.find('"', j + 1);
      if (close == std::string::npos) close = text.size();
      value = text.substr(j + 1, close - j - 1);
      size_t semi = text.find(';', close);
      i = semi == std::string::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', j);
      value = trim(text.substr(j, semi == std::string::npos ? std::string::npos : semi - j));
      i = semi == std::string::npos ? text.size() : semi + 1;
    }
    if (jet::equalsIgnoreCase(name, "Data Source")) {
      // Stored Windows paths (".\ostrel.mdb") use backslashes.
      for (char& c : value)
        if (c == '\\') c = '/';
      out.dataSource = value;
    } else if (jet::equalsIgnoreCase(name, "Mode")) {
      out.mode = value;
    }
  }
  return out;
}

}  // namespace archive
