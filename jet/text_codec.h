// Text as Jet 4 stores it: UTF-16LE, or "compressed Unicode" marked by a
// leading FF FE, where runs of one-byte characters (U+0001..U+00FF) and
// two-byte UTF-16 units alternate, each 0x00 byte switching between them.
// Inside the program text is UTF-8; unpaired surrogates become U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


namespace jet {

// Appends the UTF-8 form of stored text bytes (either form) to `out`.
void decodeText(const uint8_t* bytes, size_t length, std::string& out);
std::string decodeText(const uint8_t* bytes, size_t length);

// The UTF-16 code units of stored text bytes (either form).
std::u16string decodeTextUtf16(const uint8_t* bytes, size_t length);
// The same into `out` (replacing its content, reusing its storage).
void decodeTextUtf16(const uint8_t* bytes, size_t length, std::u16string& out);

// UTF-16LE bytes (names in table definitions) to UTF-8.
void utf16leToUtf8(const uint8_t* bytes, size_t length, std::string& out);

// UTF-16 units to UTF-8 and back.
std::string utf16ToUtf8(const std::u16string& units);
std::u16string utf8ToUtf16(const std::string& text);
// UTF-16 code units of a UTF-8 text, counted without converting it.
size_t utf16Length(std::string_view text);
// A UTF-8 text as UTF-16LE bytes; `onlyLatin1` tells whether every unit is
// in U+0001..U+00FF (the condition for compressing it).
std::vector<uint8_t> utf8ToUtf16le(std::string_view text, bool& onlyLatin1);

inline bool isCompressedText(const uint8_t* bytes, size_t length) {
  return length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
}

}  // namespace jet

namespace jet {

// Simple (one unit to one unit) upper-case mapping for Latin, Greek,
// Cyrillic, Armenian and fullwidth Latin letters; other units unchanged.
// Used wherever names or text compare without regard to case.
char16_t upperCase(char16_t c);
std::u16string toUpperUtf16(std::u16string s);
// Case-insensitive equality of two UTF-8 strings.
bool equalsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace jet
