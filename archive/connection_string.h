// Reading a connection text: "Name=Value" settings separated by ";". Only
// `Data Source` (the file) and `Mode` matter to this engine; the others are
// accepted and ignored. A value may be wrapped in double quotes.
#pragma once

#include <map>
#include <string>

namespace archive {

struct ConnectionSettings {
  std::string dataSource;  // as written, backslashes read as "/"
  std::string mode;
};

ConnectionSettings parseConnectionString(const std::string& text);

}  // namespace archive
