// Text for the topic page: UTF-8 (the program's text) to GB18030 bytes,
// which are code page 936's bytes for every character 936 has and keep
// every other character (Korean, emoji) instead of losing it.
#pragma once

#include <string>
#include <string_view>

namespace page {

// Malformed UTF-8 becomes U+FFFD; nothing is dropped.
std::string toGb18030(std::string_view utf8);

}  // namespace page
