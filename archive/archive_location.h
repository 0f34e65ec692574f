// Where the archive is: the folder of the program file (from
// /proc/self/exe, links resolved, with its trailing separator) followed by
// "ostrel.mdb". The current directory plays no part. And the connection
// text the archive connection opens it with.
#pragma once

#include <string>

namespace archive {

// The program's folder, ending in "/".
std::string programFolder();
std::string archivePath();

// The connection text: 18 settings in their order, eight spaces after each
// ";", ending in "False"; `Data Source` is `path` unchanged.
std::string connectionText(const std::string& path);

}  // namespace archive
